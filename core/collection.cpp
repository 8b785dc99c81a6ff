#include "core/collection.h"

#include <algorithm>
#include <cstring>

#include "core/messages.h"
#include "core/report.h"
#include "core/windows_fold.h"

namespace {

// Large enough for a full bank's patches many times over.
constexpr std::size_t kBlockSize = 1 << 20;

// A hash of 8 bytes at a time (a multiply and a rotation each): quick, and
// any collision is caught by comparing the bytes themselves.
std::uint64_t hash_of(const unsigned char* bytes, std::size_t size) {
  std::uint64_t hash = 0x9E3779B97F4A7C15u ^ size;
  std::size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, bytes + i, 8);
    hash = ((hash ^ word) * 0xFF51AFD7ED558CCDu);
    hash ^= hash >> 32;
  }
  for (; i < size; ++i) hash = (hash ^ bytes[i]) * 0x100000001B3u;
  return hash;
}

const unsigned char* keep_bytes(KeptPatches& kept, const unsigned char* bytes,
                                std::size_t size) {
  if (kept.blocks.empty() || kept.filled + size > kBlockSize) {
    // Not zeroed first: every byte is written before it is read.
    kept.blocks.emplace_back(new unsigned char[std::max(kBlockSize, size)]);
    kept.filled = 0;
  }
  unsigned char* at = kept.blocks.back().get() + kept.filled;
  std::memcpy(at, bytes, size);
  kept.filled += size;
  return at;
}

// CRC-32 eight bytes at a time: table k holds what a byte k places further
// on adds, for the reflected polynomial. Made on first use, not carried.
struct CrcTables {
  std::uint32_t t[8][256];
  CrcTables() {
    for (std::uint32_t n = 0; n < 256; ++n) {
      std::uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[0][n] = c;
    }
    for (std::uint32_t n = 0; n < 256; ++n) {
      for (int k = 1; k < 8; ++k) t[k][n] = t[0][t[k - 1][n] & 0xFF] ^ (t[k - 1][n] >> 8);
    }
  }
};

}  // namespace

std::uint32_t keep_patch(KeptPatches& kept, const unsigned char* bytes, std::size_t size) {
  const std::uint64_t hash = hash_of(bytes, size);
  const auto [first, last] = kept.by_hash.equal_range(hash);
  for (auto it = first; it != last; ++it) {
    const KeptPatch& patch = kept.patches[it->second];
    if (patch.size == size && std::memcmp(patch.bytes, bytes, size) == 0) return it->second;
  }
  const auto number = static_cast<std::uint32_t>(kept.patches.size());
  kept.patches.push_back({keep_bytes(kept, bytes, size), size});
  kept.by_hash.emplace(hash, number);
  return number;
}

std::uint32_t kept_crc(KeptPatches& kept, std::uint32_t number) {
  KeptPatch& patch = kept.patches.at(number);
  if (!patch.crc_known) {
    patch.crc = crc32(patch.bytes, patch.size);
    patch.crc_known = true;
  }
  return patch.crc;
}

std::uint32_t crc32(const unsigned char* bytes, std::size_t size) {
  static const CrcTables tables;
  const auto& t = tables.t;
  std::uint32_t c = 0xFFFFFFFFu;
  std::size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    const std::uint32_t low = c ^ (bytes[i] | bytes[i + 1] << 8 | bytes[i + 2] << 16 |
                                   static_cast<std::uint32_t>(bytes[i + 3]) << 24);
    c = t[7][low & 0xFF] ^ t[6][(low >> 8) & 0xFF] ^ t[5][(low >> 16) & 0xFF] ^ t[4][low >> 24] ^
        t[3][bytes[i + 4]] ^ t[2][bytes[i + 5]] ^ t[1][bytes[i + 6]] ^ t[0][bytes[i + 7]];
  }
  for (; i < size; ++i) c = t[0][(c ^ bytes[i]) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

namespace {

// A patch name as the page shows it: control bytes as "?", as on a
// terminal, in UTF-8.
std::string shown_name(const char* name, std::size_t length) {
  std::string shown(name, length);
  mask_control_bytes(shown.data(), shown.size());
  return windows_1252_to_utf8(shown);
}

CollectedPatch collected_patch(KeptPatches& kept, const BankImage& image, const PatchEntry& e,
                               PatchNames& names) {
  CollectedPatch p;
  p.number = keep_patch(kept, &image.data[e.offset], static_cast<std::size_t>(e.size));
  p.slot = e.slot + 1;
  p.name = shown_name(e.name.data(), name_length(e.name.data()));
  p.label = shown_name(e.name.data(), stem_length(e.name.data()));
  p.sources = e.sources;
  p.source_map = e.source_map;
  p.size = e.size;
  PatchFileName file = patch_file_name(names, e);
  p.file = std::move(file.file);
  p.renamed = std::move(file.renamed);
  p.check = check_patch(&image.data[e.offset], static_cast<std::size_t>(e.size), e.sources);
  return p;
}

// The stored patches of `image`, each kept, in memory order.
std::vector<CollectedPatch> collected_patches(KeptPatches& kept, const BankImage& image) {
  PatchNames names;
  names.rules = NameRules::kPage;
  std::vector<CollectedPatch> patches;
  patches.reserve(static_cast<std::size_t>(image.count));
  for (int i = 0; i < image.count; ++i) {
    patches.push_back(collected_patch(kept, image, stored_patch(image, i), names));
  }
  return patches;
}

// A .syx file of one bank, and what is read of it: its dumps and a few
// other messages.
constexpr std::size_t kSysExReadLimit = 1 << 20;

// Reads the bytes of a bank file, or of a .syx file (by its name, or by
// its first byte), into `image`.
bool load_any(BankImage& image, const std::string& path, const unsigned char* bytes,
              std::size_t size, std::size_t file_size, BankRefusal* why, SysExNotes* notes) {
  if (!has_extension(path, kSysExFileExtension) && !starts_sysex(bytes, size)) {
    return load_bank_bytes(image, bytes, size, why);
  }
  if (file_size > kSysExReadLimit) {
    *why = {Refusal::kTooLarge};
    why->value = file_size;
    why->expected = kSysExReadLimit;
    return false;
  }
  return load_sysex(image, bytes, size, why, notes);
}

// Whether bank `b` holds kept patch `number`.
bool holds(const Collection& collection, std::uint32_t b, std::uint32_t number) {
  const std::vector<Place>& places = collection.holders[number];
  return std::any_of(places.begin(), places.end(), [&](const Place& p) { return p.bank == b; });
}

// The other banks that hold every patch of `bank`, in path order.
std::vector<std::uint32_t> covering_banks(const Collection& collection, std::uint32_t bank) {
  const std::vector<CollectedPatch>& patches = collection.banks[bank].patches;
  std::vector<std::uint32_t> covering;
  if (patches.empty()) return covering;
  for (const Place& candidate : collection.holders[patches.front().number]) {
    const std::uint32_t c = candidate.bank;
    if (c == bank || std::find(covering.begin(), covering.end(), c) != covering.end()) continue;
    if (std::all_of(patches.begin(), patches.end(),
                    [&](const CollectedPatch& p) { return holds(collection, c, p.number); })) {
      covering.push_back(c);
    }
  }
  std::sort(covering.begin(), covering.end(), [&](std::uint32_t a, std::uint32_t b) {
    return path_before(collection.banks[a].path, collection.banks[b].path);
  });
  return covering;
}

// The distinct patches of a bank.
std::vector<std::uint32_t> distinct(const CollectedBank& bank) {
  std::vector<std::uint32_t> numbers;
  for (const CollectedPatch& p : bank.patches) numbers.push_back(p.number);
  std::sort(numbers.begin(), numbers.end());
  numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
  return numbers;
}

}  // namespace

std::size_t read_limit(const std::string& path) {
  return has_extension(path, kSysExFileExtension) ? kSysExReadLimit : kHeaderSize + kMemorySize;
}

std::uint32_t add_bank(Collection& collection, BankImage& image, const std::string& path,
                       const unsigned char* bytes, std::size_t size, std::size_t file_size) {
  CollectedBank bank;
  bank.path = path;
  BankRefusal why;
  SysExNotes notes;
  if (!load_any(image, path, bytes, size, file_size, &why, &notes)) {
    bank.message = bank_refusal(path, why);
    if (why.kind == Refusal::kCutOff || why.kind == Refusal::kNoEnd) {
      bank.rescued = collected_patches(collection.kept, image);
    }
  } else {
    bank.loaded = true;
    bank.message = summary_line(image, path);
    bank.listing = bank.message + listing_text(image, true, windows_1252_to_utf8);
    bank.message.pop_back();  // the line break
    bank.free = free_bytes(image);
    bank.patches = collected_patches(collection.kept, image);
  }
  if (bank.loaded || !bank.rescued.empty()) {
    const BankFolderPath folder = bank_folder_path(collection.folders, path);
    bank.folder = folder.path;
    bank.folder_renamed = folder.renamed;
  }
  if (notes.skipped > 0) bank.notes.push_back(skipped_messages_note(notes.skipped));
  for (const auto& [tone, name] : notes.replaced) {
    bank.notes.push_back(replaced_note(tone, shown_name(name.data(), stem_length(name.c_str()))));
  }
  const auto index = static_cast<std::uint32_t>(collection.banks.size());
  collection.holders.resize(collection.kept.patches.size());
  for (std::size_t i = 0; i < bank.patches.size(); ++i) {
    collection.holders[bank.patches[i].number].push_back({index, static_cast<std::uint32_t>(i)});
  }
  collection.banks.push_back(std::move(bank));
  return index;
}

std::uint32_t add_unreadable(Collection& collection, const std::string& path) {
  CollectedBank bank;
  bank.path = path;
  bank.message = bank_refusal(path, {Refusal::kReadError});
  collection.banks.push_back(std::move(bank));
  return static_cast<std::uint32_t>(collection.banks.size() - 1);
}

bool is_bank_file(const std::string& path) {
  return has_extension(path, kBankFileExtension) || has_extension(path, kSysExFileExtension);
}

bool path_before(const std::string& a, const std::string& b) { return a < b; }

std::vector<std::uint32_t> in_path_order(const std::vector<std::string>& paths) {
  std::vector<std::uint32_t> order(paths.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<std::uint32_t>(i);
  std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
    return path_before(paths[a], paths[b]);
  });
  return order;
}

std::vector<std::uint32_t> banks_in_order(const Collection& collection) {
  std::vector<std::string> paths;
  for (const CollectedBank& bank : collection.banks) paths.push_back(bank.path);
  return in_path_order(paths);
}

std::string bank_copies_note(const Collection& collection, std::uint32_t bank) {
  const std::vector<std::uint32_t> covering = covering_banks(collection, bank);
  if (covering.empty()) return "";
  const CollectedBank& other = collection.banks[covering.front()];
  return same_patches_note(other.path, distinct(other) == distinct(collection.banks[bank]),
                           covering.size() - 1);
}

std::vector<std::string> patch_copies_notes(const Collection& collection, std::uint32_t bank) {
  // The banks said once for the whole bank, found once for all its patches.
  const std::vector<std::uint32_t> covering = covering_banks(collection, bank);
  const std::vector<CollectedPatch>& patches = collection.banks[bank].patches;
  std::vector<std::string> notes;
  for (std::uint32_t patch = 0; patch < patches.size(); ++patch) {
    std::vector<Place> others;
    for (const Place& place : collection.holders[patches[patch].number]) {
      const bool said = std::find(covering.begin(), covering.end(), place.bank) != covering.end();
      if (!said && !(place.bank == bank && place.patch == patch)) others.push_back(place);
    }
    std::vector<std::string> named;  // as many as a note names
    for (std::size_t i = 0; i < std::min(others.size(), kCopiesNamed); ++i) {
      const CollectedBank& b = collection.banks[others[i].bank];
      named.push_back(place_of_copy(others[i].bank == bank ? "" : b.path,
                                    b.patches[others[i].patch].slot));
    }
    notes.push_back(copies_note(named, others.size()));
  }
  return notes;
}

std::string totals_line(const Collection& collection) {
  std::size_t banks = 0, patches = 0, copies = 0, failing = 0;
  for (std::uint32_t b = 0; b < collection.banks.size(); ++b) {
    const CollectedBank& bank = collection.banks[b];
    if (!bank.loaded) continue;
    ++banks;
    patches += bank.patches.size();
    for (const CollectedPatch& p : bank.patches) {
      const std::vector<Place>& places = collection.holders[p.number];
      if (std::any_of(places.begin(), places.end(), [&](const Place& h) { return h.bank != b; })) {
        ++copies;
      }
      failing += fails_a_check(p.check) ? 1 : 0;
    }
  }
  return totals(banks, patches, copies, failing, collection.banks.size() - banks,
                collection.skipped);
}

std::vector<Place> find_patches(const Collection& collection, const std::string& typed,
                                bool failing) {
  const std::size_t first = typed.find_first_not_of(' ');
  std::vector<Place> found;
  if (first == std::string::npos && !failing) return found;
  const std::string wanted =
      first == std::string::npos
          ? ""
          : windows_folded(typed.substr(first, typed.find_last_not_of(' ') + 1 - first));
  for (const std::uint32_t b : banks_in_order(collection)) {
    const std::vector<CollectedPatch>& patches = collection.banks[b].patches;
    for (std::size_t i = 0; i < patches.size(); ++i) {
      if ((!failing || fails_a_check(patches[i].check)) &&
          (wanted.empty() || windows_folded(patches[i].name).find(wanted) != std::string::npos)) {
        found.push_back({b, static_cast<std::uint32_t>(i)});
      }
    }
  }
  return found;
}

std::vector<unsigned char> patch_dump(const Collection& collection, std::uint32_t bank,
                                      std::uint32_t patch, const DumpTarget& target) {
  const KeptPatch& kept = collection.kept.patches[collection.banks[bank].patches[patch].number];
  return one_single_dump(target, kept.bytes, kept.size);
}

BankDump bank_dump(const Collection& collection, std::uint32_t bank, const DumpTarget& target) {
  const CollectedBank& b = collection.banks[bank];
  std::vector<TonePatch> patches;
  std::vector<std::string> out, kept_marked;
  for (const CollectedPatch& p : b.patches) {
    if (!may_dump(p.check)) {
      out.push_back(patch_in_note(p.slot, p.label, check_words(p.check)));
      continue;
    }
    if (fails_a_check(p.check)) kept_marked.push_back(patch_in_note(p.slot, p.label, check_words(p.check)));
    const KeptPatch& kept = collection.kept.patches[p.number];
    patches.push_back({p.slot - 1, kept.bytes, kept.size});
  }
  BankDump dump;
  dump.bytes = block_dump(target.bank, target.channel, patches);
  dump.patches = patches.size();
  dump.left_out = out.size();
  const std::string syx = bank_sysex_name(b);
  for (const std::string& said : {sysex_status(syx, patches.size(), target),
                                  left_out_note(syx, out), kept_marked_note(syx, kept_marked)}) {
    if (!said.empty()) dump.said += (dump.said.empty() ? "" : " ") + said;
  }
  return dump;
}

std::string own_folder(const CollectedBank& bank) {
  return bank.folder.substr(bank.folder.rfind('/') + 1);
}

std::string bank_sysex_name(const CollectedBank& bank) { return own_folder(bank) + kSysExFileExtension; }

std::string patch_sysex_name(const CollectedPatch& patch) {
  return patch.file.substr(0, patch.file.size() - std::strlen(kPatchFileExtension)) + kSysExFileExtension;
}
