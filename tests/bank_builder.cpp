#include "tests/bank_builder.h"

#include <algorithm>
#include <cstdio>

namespace {

void put_be32(std::vector<unsigned char>& out, std::size_t at, std::uint32_t v) {
  out[at] = static_cast<unsigned char>(v >> 24);
  out[at + 1] = static_cast<unsigned char>(v >> 16);
  out[at + 2] = static_cast<unsigned char>(v >> 8);
  out[at + 3] = static_cast<unsigned char>(v);
}

}  // namespace

std::int32_t patch_size(int sources, std::string_view kits) {
  const int own = std::min(sources, static_cast<int>(kMaxSources));
  const auto with_kit = std::count(kits.begin(),
                                   kits.begin() + std::min<std::size_t>(kits.size(), own),
                                   'A');
  return kPatchFixedSize + kSourceSize * own + kKitSize * static_cast<std::int32_t>(with_kit);
}

std::vector<unsigned char> patch_bytes(const TestPatch& p) {
  std::vector<unsigned char> bytes(static_cast<std::size_t>(patch_size(p.sources, p.kits)));
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<unsigned char>((p.slot * 37 + i * 11 + 1) & 0x7F);
  }
  std::string name = p.name;
  name.resize(kNameLength, ' ');
  std::copy(name.begin(), name.end(), bytes.begin() + kNameOffset);
  bytes[kSourceCountOffset] = static_cast<unsigned char>(p.sources);
  // Each source's wave kit, high 7 bits then low: 512 for an additive one.
  const int own = std::min(p.sources, static_cast<int>(kMaxSources));
  bool spoilt_wave = false;
  for (int s = 0; s < own && kPatchFixedSize + kSourceSize * (s + 1) <= static_cast<int>(bytes.size()); ++s) {
    const std::size_t wave = static_cast<std::size_t>(kPatchFixedSize + kSourceSize * s + 28);
    const bool additive = static_cast<std::size_t>(s) < p.kits.size() && p.kits[static_cast<std::size_t>(s)] == 'A';
    const bool spoil = additive && p.spoil == Spoil::kWaveKit && !spoilt_wave;
    spoilt_wave = spoilt_wave || spoil;
    bytes[wave] = additive && !spoil ? 0x04 : 0x00;
    bytes[wave + 1] = additive && !spoil ? 0x00 : static_cast<unsigned char>(1 + s);
  }
  // The checksums: each kit's of its bytes 1 to 805, the patch's of the
  // common block's and the sources' but its first, each + 0xA5, 7 bits.
  const std::size_t kits_at = static_cast<std::size_t>(kPatchFixedSize + kSourceSize * own);
  for (std::size_t kit = kits_at; kit + kKitSize <= bytes.size(); kit += kKitSize) {
    unsigned sum = 0xA5;
    for (std::size_t i = 1; i < kKitSize; ++i) sum += bytes[kit + i];
    bytes[kit] = static_cast<unsigned char>(sum & 0x7F);
    if (p.spoil == Spoil::kKitChecksum && kit == kits_at) bytes[kit] = (bytes[kit] + 1) & 0x7F;
  }
  if (bytes.size() >= kits_at) {
    unsigned sum = 0xA5;
    for (std::size_t i = 1; i < kits_at; ++i) sum += bytes[i];
    bytes[0] = static_cast<unsigned char>(sum & 0x7F);
    if (p.spoil == Spoil::kChecksum) bytes[0] = (bytes[0] + 1) & 0x7F;
  }
  return bytes;
}

std::vector<unsigned char> build_bank(const TestBank& bank) {
  std::vector<unsigned char> file(kHeaderSize + kMemorySize, 0);
  std::uint32_t next = bank.base;
  std::uint32_t base = UINT32_MAX;
  std::uint32_t end = 0;
  std::vector<std::uint32_t> pointers;
  for (const TestPatch& p : bank.patches) {
    const std::uint32_t pointer = p.pointer.value_or(next);
    const auto size = static_cast<std::uint32_t>(patch_size(p.sources, p.kits));
    pointers.push_back(pointer);
    next = pointer + size;
    base = std::min(base, pointer);
    end = std::max(end, pointer + size);
  }
  if (bank.patches.empty()) base = end = bank.base;

  for (std::size_t n = 0; n < bank.patches.size(); ++n) {
    const TestPatch& p = bank.patches[n];
    const std::size_t group = static_cast<std::size_t>(p.slot) * kSlotGroupSize;
    put_be32(file, group, pointers[n]);
    for (std::size_t k = 0; k < std::min(p.kits.size(), kMaxSources); ++k) {
      if (p.kits[k] == 'A') {
        put_be32(file, group + 4 + 4 * k,
                 pointers[n] + static_cast<std::uint32_t>(kPatchFixedSize + kKitSize * k));
      }
    }
    // Whatever falls outside the data area is simply dropped.
    const std::vector<unsigned char> bytes = patch_bytes(p);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      const std::uint64_t at = std::uint64_t{pointers[n]} - base + i;
      if (at >= kMemorySize) break;
      file[kHeaderSize + at] = bytes[i];
    }
  }
  put_be32(file, kEndPointerOffset, bank.end.value_or(end));
  file.resize(bank.file_size.value_or(file.size()));
  return file;
}

namespace {

std::vector<unsigned char> dump_start(unsigned char function, int bank, int channel) {
  return {0xF0, 0x40, static_cast<unsigned char>(channel), function, 0x00, 0x0A, 0x00,
          static_cast<unsigned char>(bank)};
}

}  // namespace

std::vector<unsigned char> one_single_bytes(int bank, int channel, int tone,
                                            const std::vector<unsigned char>& patch) {
  std::vector<unsigned char> dump = dump_start(0x20, bank, channel);
  dump.push_back(static_cast<unsigned char>(tone));
  dump.insert(dump.end(), patch.begin(), patch.end());
  dump.push_back(0xF7);
  return dump;
}

std::vector<unsigned char> block_bytes(int bank, int channel,
                                       const std::vector<std::pair<int, std::vector<unsigned char>>>& patches) {
  std::vector<unsigned char> dump = dump_start(0x21, bank, channel);
  // Tone t is bit t % 7 of map byte t / 7.
  std::vector<unsigned char> map(19, 0);
  for (const auto& [tone, bytes] : patches) map[static_cast<std::size_t>(tone / 7)] |= 1 << (tone % 7);
  dump.insert(dump.end(), map.begin(), map.end());
  for (const auto& [tone, bytes] : patches) dump.insert(dump.end(), bytes.begin(), bytes.end());
  dump.push_back(0xF7);
  return dump;
}

bool write_bytes(const std::string& path, const std::vector<unsigned char>& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool written =
      bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return (std::fclose(f) == 0) && written;
}
