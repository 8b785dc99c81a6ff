#include "core/sysex.h"

#include <algorithm>
#include <cstring>

namespace {

// A dump's header after F0: maker, channel, what it does, 00, the
// instrument, then 00 for "single" (not a multi or a drum kit); then the
// bank and, for one single, the tone.
constexpr std::size_t kHeaderBank = 6;
constexpr std::size_t kSingleHeader = 8;  // then the patch
constexpr std::size_t kBlockHeader = kHeaderBank + 1 + kToneMapSize;  // then the patches
constexpr unsigned char kSingle = 0x00;

constexpr int kToneCount = 128;

// Where a patch's sources end, and its kits begin.
constexpr std::size_t sources_end(int sources) {
  return kPatchFixedSize + kSourceSize * static_cast<std::size_t>(sources);
}

std::size_t sum(const unsigned char* from, const unsigned char* to) {
  std::size_t total = 0;
  for (; from < to; ++from) total += *from;
  return total;
}

// A bank of patches: not B (01), the PCM waves of one model, whose block
// dump has no tone map.
bool is_patch_bank(unsigned char b) {
  for (const DumpBank bank : {DumpBank::kA, DumpBank::kD, DumpBank::kE, DumpBank::kF}) {
    if (b == static_cast<unsigned char>(bank)) return true;
  }
  return false;
}

// The header a dump starts with, after F0.
std::vector<unsigned char> dump_header(unsigned char function, int channel, DumpBank bank) {
  return {kSysExStart, kMakerId, static_cast<unsigned char>(channel & 0x0F), function, 0x00,
          kInstrumentId, kSingle, static_cast<unsigned char>(bank)};
}

// A patch found in a .syx file: where its bytes are in the file.
struct Found {
  const unsigned char* bytes = nullptr;
  std::size_t size = 0;
};

// The patches found so far, by tone, and what was said of them.
struct Reading {
  std::array<Found, kToneCount> tones{};
  SysExNotes* notes;
  int message = 0;  // the message being read, from 1
  bool instrument = false;    // a message of this instrument was met
  // The first of its messages that carried no patch: its kind (a multi, a
  // drum kit), or 0x100 and what it does (a request, an answer).
  std::size_t first_kind = 0;
};

void take(Reading& r, int tone, const unsigned char* bytes, std::size_t size) {
  Found& found = r.tones[static_cast<std::size_t>(tone)];
  if (found.bytes != nullptr && r.notes != nullptr) {
    r.notes->replaced.emplace_back(tone + 1, std::string(reinterpret_cast<const char*>(found.bytes) +
                                                             kNameOffset, kNameLength));
  }
  found = {bytes, size};
}

// Refuses a patch that claims too many sources, as a bank's is refused.
bool sources_fit(const unsigned char* patch, std::size_t size, int tone, BankRefusal* why) {
  if (size > kSourceCountOffset && patch[kSourceCountOffset] > kMaxSources) {
    *why = {Refusal::kTooManySources, tone + 1, patch[kSourceCountOffset]};
    return false;
  }
  return true;
}

// One single: the patch, which must be as long as its sources make it.
bool read_one_single(Reading& r, const unsigned char* body, std::size_t size, BankRefusal* why) {
  const int tone = body[kSingleHeader - 1];
  const unsigned char* patch = body + kSingleHeader;
  const std::size_t length = size - kSingleHeader;
  if (!sources_fit(patch, length, tone, why)) return false;
  const std::size_t wanted = patch_length_from_sources(patch, length);
  if (wanted == 0 || wanted != length) {
    *why = {Refusal::kSingleLength, tone + 1};
    why->message = r.message;
    why->value = length;
    why->expected = wanted;
    return false;
  }
  take(r, tone, patch, length);
  return true;
}

// A block dump: the patches its tone map names, cut by their own lengths,
// which must fill it to its end. Of one `cut` short, the patches that lie
// whole before the cut.
bool read_block(Reading& r, const unsigned char* body, std::size_t size, BankRefusal* why,
                bool cut = false) {
  const unsigned char* map = body + kHeaderBank + 1;
  const unsigned char* patches = body + kBlockHeader;
  const std::size_t length = size - kBlockHeader;
  std::size_t at = 0, wanted = 0;
  for (int tone = 0; tone < kToneCount; ++tone) {
    if ((map[tone / 7] >> (tone % 7) & 1) == 0) continue;
    const std::size_t left = at < length ? length - at : 0;
    if (!sources_fit(patches + at, left, tone, why)) return false;
    const std::size_t patch = patch_length_from_sources(patches + at, left);
    if (cut && (patch == 0 || patch > left)) return true;
    if (patch == 0 || patch > left) {
      // Cut short: at least what is left, and the common block.
      wanted = at + std::max<std::size_t>(left + 1, kPatchFixedSize);
      break;
    }
    take(r, tone, patches + at, patch);
    at += patch;
    wanted = at;
  }
  if (wanted != length) {
    *why = {Refusal::kBlockLength};
    why->message = r.message;
    why->value = length;
    why->expected = wanted;
    return false;
  }
  return true;
}

// Whether a message, F0 and F7 left out, is this instrument's.
bool is_ours(const unsigned char* body, std::size_t size) {
  return size > kHeaderBank && body[0] == kMakerId && body[1] < 0x10 && body[3] == 0x00 &&
         body[4] == kInstrumentId;
}

// Which dump of patches a message of this instrument is, of which at least
// its header came: kOneSingleDump, kBlockDump, or 0 for none.
unsigned char patch_dump_kind(const unsigned char* body, std::size_t size) {
  if (!is_ours(body, size) || body[5] != kSingle || !is_patch_bank(body[kHeaderBank])) return 0;
  if (body[2] == kOneSingleDump && size >= kSingleHeader) return kOneSingleDump;
  if (body[2] == kBlockDump && size >= kBlockHeader) return kBlockDump;
  return 0;
}

// One message, F0 and F7 left out: a patch dump is read, any other counted.
bool read_message(Reading& r, const unsigned char* body, std::size_t size, BankRefusal* why) {
  if (!is_ours(body, size)) {
    if (r.notes != nullptr) ++r.notes->skipped;
    return true;
  }
  r.instrument = true;
  switch (patch_dump_kind(body, size)) {
    case kOneSingleDump:
      return read_one_single(r, body, size, why);
    case kBlockDump:
      return read_block(r, body, size, why);
    default:
      break;
  }
  if (r.first_kind == 0) r.first_kind = body[5] != kSingle ? body[5] : 0x100u | body[2];
  if (r.notes != nullptr) ++r.notes->skipped;
  return true;
}

// Lays the patches found out as a bank: each at its tone as its slot, back
// to back in tone order. False if they do not fit in patch memory.
bool lay_out(BankImage& image, const Reading& r, BankRefusal* why) {
  image.entries.fill(PatchEntry{});
  image.count = 0;
  image.base = 0;
  std::size_t at = 0;
  for (int tone = 0; tone < kToneCount; ++tone) {
    const Found& found = r.tones[static_cast<std::size_t>(tone)];
    PatchEntry& e = image.entries[static_cast<std::size_t>(tone)];
    e.slot = tone;
    if (found.bytes == nullptr) continue;
    if (at + found.size > kMemorySize) {
      std::size_t total = at;
      for (int t = tone; t < kToneCount; ++t) total += r.tones[static_cast<std::size_t>(t)].size;
      *why = {Refusal::kTooManyPatches};
      why->value = total;
      why->expected = kMemorySize;
      image.count = 0;
      image.order[0] = kEndSentinel;
      return false;
    }
    std::memcpy(&image.data[at], found.bytes, found.size);
    e.present = true;
    e.offset = static_cast<std::uint32_t>(at);
    e.sources = found.bytes[kSourceCountOffset];
    e.size = static_cast<std::int32_t>(found.size);
    std::memcpy(e.name.data(), found.bytes + kNameOffset, kNameLength);
    e.name[kNameLength] = '\0';
    e.source_map.fill('-');
    e.source_map[kMaxSources] = '\0';
    for (int s = 0; s < e.sources; ++s) {
      const bool additive = is_additive_source(found.bytes + sources_end(s));
      e.source_map[static_cast<std::size_t>(s)] = additive ? 'A' : 'P';
      e.kit[static_cast<std::size_t>(s)].present = additive;
      e.kits += additive ? 1 : 0;
    }
    image.order[static_cast<std::size_t>(image.count++)] = static_cast<std::uint8_t>(tone);
    at += found.size;
  }
  std::fill(image.data.begin() + static_cast<std::ptrdiff_t>(at), image.data.end(), 0);
  image.entries[kEndSentinel].slot = static_cast<std::int32_t>(kEndSentinel);
  image.entries[kEndSentinel].offset = static_cast<std::uint32_t>(at);
  image.order[static_cast<std::size_t>(image.count)] = kEndSentinel;
  return true;
}

}  // namespace

bool dump_bank(char letter, DumpBank* bank) {
  for (const DumpBank b : {DumpBank::kA, DumpBank::kD, DumpBank::kE, DumpBank::kF}) {
    if (bank_letter(b) == letter) {
      *bank = b;
      return true;
    }
  }
  return false;
}

char bank_letter(DumpBank bank) {
  switch (bank) {
    case DumpBank::kA:
      return 'A';
    case DumpBank::kD:
      return 'D';
    case DumpBank::kE:
      return 'E';
    case DumpBank::kF:
      return 'F';
  }
  return '?';
}

bool is_additive_source(const unsigned char* source) {
  // 512 in two 7-bit bytes, high first.
  return source[kWaveKitOffset] == (kAdditiveWaveKit >> 7) &&
         source[kWaveKitOffset + 1] == (kAdditiveWaveKit & 0x7F);
}

std::size_t patch_length_from_sources(const unsigned char* patch, std::size_t size) {
  if (size <= kSourceCountOffset) return 0;
  const int sources = patch[kSourceCountOffset];
  if (sources > static_cast<int>(kMaxSources) || size < sources_end(sources)) return 0;
  std::size_t additive = 0;
  for (int s = 0; s < sources; ++s) additive += is_additive_source(patch + sources_end(s)) ? 1 : 0;
  return sources_end(sources) + kKitSize * additive;
}

unsigned char patch_checksum(const unsigned char* patch, int sources) {
  return static_cast<unsigned char>((sum(patch + 1, patch + sources_end(sources)) + 0xA5) & 0x7F);
}

unsigned char kit_checksum(const unsigned char* kit) {
  return static_cast<unsigned char>((sum(kit + 1, kit + kKitSize) + 0xA5) & 0x7F);
}

PatchCheck check_patch(const unsigned char* patch, std::size_t size, int sources) {
  PatchCheck check;
  const std::size_t kits_at = sources_end(sources);
  if (size >= kits_at) {
    check.checksum_fails = patch[0] != patch_checksum(patch, sources);
    for (std::size_t k = 0; kits_at + (k + 1) * kKitSize <= size; ++k) {
      const unsigned char* kit = patch + kits_at + k * kKitSize;
      if (kit[0] != kit_checksum(kit)) {
        check.kit_fails = static_cast<int>(k + 1);
        break;
      }
    }
  }
  const unsigned char* high =
      std::find_if(patch, patch + size, [](unsigned char b) { return b >= 0x80; });
  if (high != patch + size) {
    check.not_midi = *high;
    check.not_midi_at = static_cast<std::size_t>(high - patch);
    check.in_name = check.not_midi_at >= kNameOffset && check.not_midi_at < kNameOffset + kNameLength;
  }
  const std::size_t length = patch_length_from_sources(patch, size);
  if (length != size) check.length_from_sources = length;
  return check;
}

bool may_dump(const PatchCheck& check) {
  return check.not_midi == 0 && check.length_from_sources == 0;
}

bool fails_a_check(const PatchCheck& check) {
  return check.checksum_fails || check.kit_fails != 0 || !may_dump(check);
}

std::vector<unsigned char> one_single_dump(const DumpTarget& target, const unsigned char* patch,
                                           std::size_t size) {
  std::vector<unsigned char> dump = dump_header(kOneSingleDump, target.channel, target.bank);
  dump.push_back(static_cast<unsigned char>(target.tone & 0x7F));
  dump.insert(dump.end(), patch, patch + size);
  dump.push_back(kSysExEnd);
  return dump;
}

std::array<unsigned char, kToneMapSize> tone_map(const std::vector<int>& tones) {
  std::array<unsigned char, kToneMapSize> map{};
  for (const int tone : tones) {
    map[static_cast<std::size_t>(tone / 7)] |= static_cast<unsigned char>(1 << (tone % 7));
  }
  return map;
}

std::vector<unsigned char> block_dump(DumpBank bank, int channel, std::vector<TonePatch> patches) {
  std::sort(patches.begin(), patches.end(),
            [](const TonePatch& a, const TonePatch& b) { return a.tone < b.tone; });
  std::vector<int> tones;
  std::size_t size = kBlockHeader + 2;
  for (const TonePatch& p : patches) {
    tones.push_back(p.tone);
    size += p.size;
  }
  std::vector<unsigned char> dump = dump_header(kBlockDump, channel, bank);
  dump.reserve(size);
  const auto map = tone_map(tones);
  dump.insert(dump.end(), map.begin(), map.end());
  for (const TonePatch& p : patches) dump.insert(dump.end(), p.bytes, p.bytes + p.size);
  dump.push_back(kSysExEnd);
  return dump;
}

std::vector<unsigned char> patch_request(const DumpTarget& target) {
  std::vector<unsigned char> request = dump_header(0x00, target.channel, target.bank);
  request.push_back(static_cast<unsigned char>(target.tone & 0x7F));
  request.push_back(kSysExEnd);
  return request;
}

std::vector<unsigned char> bank_request(DumpBank bank, int channel) {
  std::vector<unsigned char> request = dump_header(0x01, channel, bank);
  request.push_back(0x00);
  request.push_back(kSysExEnd);
  return request;
}

namespace {

// Calls `each` with each whole message of `bytes`, F0 and F7 left out, and
// says whether one is begun and not ended.
template <class Each>
bool each_message(const unsigned char* bytes, std::size_t size, Each each) {
  for (std::size_t at = 0; at < size; ++at) {
    if (bytes[at] != kSysExStart) continue;
    std::size_t end = at + 1;
    while (end < size && bytes[end] < 0x80) ++end;
    if (end == size) return true;
    if (bytes[end] == kSysExEnd) each(bytes + at + 1, end - at - 1);
    at = end - 1;
  }
  return false;
}

}  // namespace

Answer dump_answer(const unsigned char* bytes, std::size_t size, int channel) {
  Answer answer = Answer::kNone;
  each_message(bytes, size, [&](const unsigned char* body, std::size_t length) {
    if (answer != Answer::kNone || length != 5 || body[0] != kMakerId || body[1] != channel ||
        body[3] != 0x00 || body[4] != kInstrumentId) {
      return;
    }
    constexpr std::pair<unsigned char, Answer> kAnswers[] = {
        {0x40, Answer::kWritten}, {0x41, Answer::kWriteError}, {0x42, Answer::kProtected},
        {0x44, Answer::kFull},    {0x45, Answer::kNoExpansion}};
    for (const auto& [code, kind] : kAnswers) {
      if (body[2] == code) answer = kind;
    }
  });
  return answer;
}

Incoming incoming(const unsigned char* bytes, std::size_t size) {
  Incoming in;
  in.open = each_message(bytes, size, [&](const unsigned char* body, std::size_t length) {
    in.whole_dump = in.whole_dump || patch_dump_kind(body, length) != 0;
  });
  return in;
}

bool starts_sysex(const unsigned char* bytes, std::size_t size) {
  return size > 0 && bytes[0] == kSysExStart;
}

bool load_sysex(BankImage& image, const unsigned char* bytes, std::size_t size, BankRefusal* why,
                SysExNotes* notes) {
  Reading r;
  r.notes = notes;
  bool any = false;
  for (std::size_t at = 0; at < size; ++at) {
    if (bytes[at] != kSysExStart) continue;  // what lies between messages is no message
    any = true;
    ++r.message;
    // The message's data bytes, up to its end.
    std::size_t end = at + 1;
    while (end < size && bytes[end] < 0x80) ++end;
    if (end == size || bytes[end] == kSysExStart) {
      // The whole patches before the cut: of the messages before, and of a
      // block dump cut short.
      BankRefusal unused;
      if (patch_dump_kind(bytes + at + 1, end - at - 1) == kBlockDump) {
        read_block(r, bytes + at + 1, end - at - 1, &unused, true);
      }
      lay_out(image, r, &unused);
      *why = {Refusal::kNoEnd};
      why->message = r.message;
      return false;
    }
    if (bytes[end] != kSysExEnd) {
      *why = {Refusal::kNotData};
      why->message = r.message;
      why->value = bytes[end];
      return false;
    }
    if (!read_message(r, bytes + at + 1, end - at - 1, why)) return false;
    at = end;
  }
  const bool found = std::any_of(r.tones.begin(), r.tones.end(),
                                 [](const Found& f) { return f.bytes != nullptr; });
  if (!found) {
    *why = {!any ? Refusal::kNoSysEx : !r.instrument ? Refusal::kOtherMaker : Refusal::kNoPatch};
    why->value = r.first_kind;
    return false;
  }
  return lay_out(image, r, why);
}
