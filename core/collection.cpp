#include "core/collection.h"

#include <algorithm>
#include <cstring>

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

const unsigned char* keep_bytes(Collection& collection, const unsigned char* bytes,
                                std::size_t size) {
  if (collection.blocks.empty() || collection.filled + size > kBlockSize) {
    collection.blocks.push_back(std::make_unique<unsigned char[]>(std::max(kBlockSize, size)));
    collection.filled = 0;
  }
  unsigned char* at = collection.blocks.back().get() + collection.filled;
  std::memcpy(at, bytes, size);
  collection.filled += size;
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

std::uint32_t keep_patch(Collection& collection, const unsigned char* bytes, std::size_t size) {
  const std::uint64_t hash = hash_of(bytes, size);
  const auto [first, last] = collection.by_hash.equal_range(hash);
  for (auto it = first; it != last; ++it) {
    const KeptPatch& kept = collection.patches[it->second];
    if (kept.size == size && std::memcmp(kept.bytes, bytes, size) == 0) return it->second;
  }
  const auto number = static_cast<std::uint32_t>(collection.patches.size());
  collection.patches.push_back({keep_bytes(collection, bytes, size), size});
  collection.by_hash.emplace(hash, number);
  return number;
}

std::uint32_t kept_crc(Collection& collection, std::uint32_t number) {
  KeptPatch& kept = collection.patches.at(number);
  if (!kept.crc_known) {
    kept.crc = crc32(kept.bytes, kept.size);
    kept.crc_known = true;
  }
  return kept.crc;
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
