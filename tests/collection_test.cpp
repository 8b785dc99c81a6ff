// A collection keeps each distinct patch once: copies are found by their
// bytes, whatever their hash, and kept bytes never move.

#include <gtest/gtest.h>

#include <vector>

#include "core/collection.h"
#include "core/messages.h"
#include "tests/bank_builder.h"
#include "tests/tables.h"

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

// A bank file and a .syx file are read alike, a cut-off one offers what
// lies whole before the cut, and the totals count what fails a check.
TEST(AddBank, ReadsBanksAndSysExFilesAlike) {
  const TestPatch pad{.slot = 3, .name = "Pad", .sources = 1, .kits = "P"};        // 168 bytes
  const TestPatch sum{.slot = 5, .name = "Sum", .sources = 1, .kits = "A", .spoil = Spoil::kChecksum};
  std::vector<unsigned char> singles = one_single_bytes(0, 0, 3, patch_bytes(pad));
  const auto second = one_single_bytes(4, 2, 5, patch_bytes(sum));
  singles.insert(singles.end(), second.begin(), second.end());
  const std::vector<unsigned char> cut = build_bank({.patches = {pad, sum}, .file_size = kHeaderSize + 500});
  struct Case {
    std::string path;
    std::vector<unsigned char> bytes;
    std::string message;
    std::size_t patches, rescued;
  };
  const std::vector<Case> cases{
      {"A.KAA", build_bank({.patches = {pad, sum}}),
       "\"A.KAA\" contains 2 patches. 129930 bytes (99.13% of memory) free.", 2, 0},
      {"Live/B.syx", singles, "\"Live/B.syx\" contains 2 patches. 129930 bytes (99.13% of memory) free.", 2, 0},
      // Named .KAA, it is still read as the SysEx it is.
      {"C.KAA", singles, "\"C.KAA\" contains 2 patches. 129930 bytes (99.13% of memory) free.", 2, 0},
      {"cut.KAA", cut, "\"cut.KAA\" is cut off: patch 6 ends past the end of the file.", 0, 1},
      {"cut.syx", damaged_sysex()[6].bytes, "\"cut.syx\" is cut off: message 3 has no end.", 0, 2},
  };
  Collection collection;
  auto image = std::make_unique<BankImage>();
  for (const Case& c : cases) {
    const CollectedBank& bank =
        collection.banks[add_bank(collection, *image, c.path, c.bytes.data(), c.bytes.size(), c.bytes.size())];
    EXPECT_EQ(bank.message, c.message);
    EXPECT_EQ(bank.patches.size(), c.patches) << c.path;
    EXPECT_EQ(bank.rescued.size(), c.rescued) << c.path;
  }
  EXPECT_EQ(collection.banks[1].patches[1].file, "Sum.KA1");
  EXPECT_EQ(collection.banks[3].rescued[0].file, "Pad.KA1");
  EXPECT_EQ(totals_line(collection),
            "3 banks, 6 patches (6 also in another bank; 3 fail a check), 2 could not be read.");
}

}  // namespace
