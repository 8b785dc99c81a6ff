// A collection keeps each distinct patch once: copies are found by their
// bytes, whatever their hash, and kept bytes never move.

#include <gtest/gtest.h>

#include <vector>

#include "core/collection.h"
#include "tests/bank_builder.h"

namespace {

TEST(KeepPatch, NumbersEachDistinctPatchOnce) {
  const std::vector<unsigned char> a = patch_bytes({.slot = 1, .name = "A", .sources = 6, .kits = "AAAAAA"});
  std::vector<unsigned char> last = a, first = a;
  last.back() ^= 1;
  first.front() ^= 1;
  const std::vector<unsigned char> shorter(a.begin(), a.end() - 1);
  KeptPatches kept;
  // In turn: new, new, a copy, new, new, a copy of the second.
  const std::vector<std::pair<const std::vector<unsigned char>*, std::uint32_t>> given{
      {&a, 0}, {&last, 1}, {&a, 0}, {&first, 2}, {&shorter, 3}, {&last, 1}};
  for (const auto& [bytes, number] : given) {
    EXPECT_EQ(keep_patch(kept, bytes->data(), bytes->size()), number);
  }
  EXPECT_EQ(kept.patches.size(), 4u);
}

// More than a block's worth: every kept patch still holds its bytes.
TEST(KeepPatch, KeptBytesStayWhereTheyAre) {
  KeptPatches kept;
  std::vector<std::vector<unsigned char>> patches;
  for (int i = 0; i < 400; ++i) {
    patches.push_back(patch_bytes({.slot = i % 128, .name = "P" + std::to_string(i), .sources = 6,
                                   .kits = "AAAAAA"}));
    EXPECT_EQ(keep_patch(kept, patches.back().data(), patches.back().size()),
              static_cast<std::uint32_t>(i));
  }
  EXPECT_GT(kept.blocks.size(), 1u);
  for (std::size_t i = 0; i < patches.size(); ++i) {
    const KeptPatch& patch = kept.patches[i];
    EXPECT_EQ(std::vector<unsigned char>(patch.bytes, patch.bytes + patch.size), patches[i]) << i;
  }
}

// As a .zip records it: the check value of the standard, and each length
// that the eight-byte steps leave a tail of.
TEST(Crc32, AsTheStandardHasIt) {
  const std::vector<std::pair<std::string, std::uint32_t>> cases{
      {"", 0},
      {"a", 0xE8B7BE43},
      {"123456789", 0xCBF43926},
      {"12345678", 0x9AE0DAAF},
      {"The quick brown fox jumps over the lazy dog", 0x414FA339}};
  for (const auto& [text, crc] : cases) {
    EXPECT_EQ(crc32(reinterpret_cast<const unsigned char*>(text.data()), text.size()), crc) << text;
  }
  KeptPatches kept;
  const std::string nine = "123456789";
  const std::uint32_t n = keep_patch(kept, reinterpret_cast<const unsigned char*>(nine.data()), 9);
  EXPECT_EQ(kept_crc(kept, n), 0xCBF43926u);
}

}  // namespace
