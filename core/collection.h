// Many banks read as one collection, as the browser page reads them: each
// distinct patch is kept once, so that a patch that several banks hold is
// known as the same patch wherever it stands.

#ifndef VORTRIM_CORE_COLLECTION_H
#define VORTRIM_CORE_COLLECTION_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

// A distinct patch: its bytes, kept for as long as the collection.
struct KeptPatch {
  const unsigned char* bytes;
  std::size_t size;
  bool crc_known = false;  // the CRC-32 below is worked out when first asked for
  std::uint32_t crc = 0;
};

struct Collection {
  std::vector<KeptPatch> patches;  // by number, in the order first met
  // The patches' numbers by a hash of their bytes.
  std::unordered_multimap<std::uint64_t, std::uint32_t> by_hash;
  // Where the bytes are kept: blocks that never move, so that a kept
  // patch's address stays valid.
  std::vector<std::unique_ptr<unsigned char[]>> blocks;
  std::size_t filled = 0;  // bytes used in the last block
};

// The number of the patch with these `size` bytes: the one kept already,
// if its bytes are the same to the last (a copy), else a new one, kept.
std::uint32_t keep_patch(Collection& collection, const unsigned char* bytes, std::size_t size);

// The CRC-32 of kept patch `number`, as a .zip records it.
std::uint32_t kept_crc(Collection& collection, std::uint32_t number);

// The CRC-32 of `size` bytes, as .zip and PNG files hold it.
std::uint32_t crc32(const unsigned char* bytes, std::size_t size);

#endif  // VORTRIM_CORE_COLLECTION_H
