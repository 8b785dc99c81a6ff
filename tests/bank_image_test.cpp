#include <gtest/gtest.h>

#include <memory>

#include "core/bank_image.h"
#include "core/messages.h"
#include "tests/bank_builder.h"
#include "tests/tables.h"
#include "tests/test_util.h"

namespace {

// One stored patch as the loader should see it, in memory order.
struct Seen {
  int slot;
  std::uint32_t offset;
  int sources;
  int kits;
  int size;
  std::string name;  // up to the first NUL
  std::string source_map;
};

struct LoadCase {
  const char* what;
  TestBank bank;
  std::uint32_t base;
  std::uint32_t end;  // relative end pointer
  std::vector<Seen> seen;
};

class LoadBank : public testing::TestWithParam<LoadCase> {};

TEST_P(LoadBank, DerivesEveryStoredPatch) {
  const LoadCase& c = GetParam();
  auto image = std::make_unique<BankImage>();
  BankRefusal why;
  ASSERT_TRUE(load_bytes(build_bank(c.bank), *image, &why)) << refusal_words(why);
  EXPECT_EQ(image->count, static_cast<int>(c.seen.size()));
  EXPECT_EQ(image->base, c.base);
  EXPECT_EQ(image->entries[kEndSentinel].offset, c.end);
  EXPECT_EQ(image->order[static_cast<std::size_t>(image->count)], kEndSentinel);
  for (std::size_t i = 0; i < c.seen.size(); ++i) {
    const PatchEntry& e = stored_patch(*image, static_cast<int>(i));
    const Seen& s = c.seen[i];
    SCOPED_TRACE(i);
    EXPECT_EQ(e.slot, s.slot);
    EXPECT_TRUE(e.present);
    EXPECT_EQ(e.offset, s.offset);
    EXPECT_EQ(e.sources, s.sources);
    EXPECT_EQ(e.kits, s.kits);
    EXPECT_EQ(e.size, s.size);
    EXPECT_EQ(std::string(e.name.data()), s.name);
    EXPECT_EQ(std::string(e.source_map.data()), s.source_map);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Banks, LoadBank,
    testing::Values(
        LoadCase{"no stored patch: the base is the end pointer",
                 {.patches = {}, .base = 0x1234}, 0x1234, 0, {}},
        LoadCase{"stored out of slot order",
                 {.patches = {{.slot = 5, .name = "Five", .sources = 1, .kits = "A"},
                              {.slot = 2, .name = "Two", .sources = 2, .kits = "AP"}},
                  .base = 0x100},
                 0x100, 974 + 1060,
                 {{5, 0, 1, 1, 974, "Five    ", "A-----"},
                  {2, 974, 2, 1, 1060, "Two     ", "AP----"}}},
        LoadCase{"stale kit pointers past the sources count for nothing",
                 {.patches = {{.slot = 0, .name = "Strings1", .sources = 2, .kits = "APAAAA"},
                              {.slot = 1, .name = "Empty", .sources = 0, .kits = "AAAAAA"}}},
                 0x20000, 1060 + 82,
                 {{0, 0, 2, 1, 1060, "Strings1", "AP----"},
                  {1, 1060, 0, 0, 82, "Empty   ", "------"}}},
        LoadCase{"six sources, all with kits",
                 {.patches = {{.slot = 127, .name = "Big", .sources = 6, .kits = "AAAAAA"}}},
                 0x20000, 5434, {{127, 0, 6, 6, 5434, "Big     ", "AAAAAA"}}},
        LoadCase{"equal pointers keep slot order",
                 {.patches = {{.slot = 9, .name = "Twin", .sources = 1, .pointer = 0x500},
                              {.slot = 3, .name = "Twin", .sources = 1, .pointer = 0x500}},
                  .end = 0x500 + 168},
                 0x500, 168,
                 {{3, 0, 1, 0, 168, "Twin    ", "P-----"},
                  {9, 0, 1, 0, 168, "Twin    ", "P-----"}}},
        LoadCase{"a NUL ends the name; the end may fill the whole memory",
                 {.patches = {{.slot = 0, .name = std::string("AB\0CDEFG", 8), .sources = 0,
                               .pointer = 1}},
                  .end = 1 + kMemorySize},
                 1, kMemorySize, {{0, 0, 0, 0, 82, "AB", "------"}}}),
    NameByWhat());

class RefuseBank : public testing::TestWithParam<DamagedBank> {};

TEST_P(RefuseBank, WithTheFirstFault) {
  auto image = std::make_unique<BankImage>();
  BankRefusal why;
  EXPECT_FALSE(load_bytes(build_bank(GetParam().bank), *image, &why));
  EXPECT_EQ(bank_refusal(GetParam().file, why), "\"" + GetParam().file + "\" " + GetParam().words);
}

INSTANTIATE_TEST_SUITE_P(Damaged, RefuseBank, testing::ValuesIn(damaged_banks()), NameByWhat());

// Every prefix of a good bank either loads, with every patch inside the bytes
// that are there, or is refused; none reads past what it was given.
TEST(LoadBankTruncated, EveryLength) {
  TestBank bank{.patches = {{.slot = 4, .name = "A", .sources = 2, .kits = "AA"},
                            {.slot = 0, .name = "B", .sources = 0}}};
  const std::vector<unsigned char> full = build_bank(bank);
  const std::size_t used = kHeaderSize + 2 * 806 + 82 + 2 * 86 + 82;
  auto image = std::make_unique<BankImage>();
  for (std::size_t length = 0; length <= used + 1; ++length) {
    std::vector<unsigned char> cut(full.begin(), full.begin() + static_cast<long>(length));
    BankRefusal why;
    const bool ok = load_bytes(cut, *image, &why);
    if (length < kHeaderSize) {
      ASSERT_EQ(why.kind, Refusal::kTooShort) << length;
    } else if (length < used) {
      ASSERT_FALSE(ok) << length;
      ASSERT_EQ(why.kind, Refusal::kCutOff) << length;
    } else {
      ASSERT_TRUE(ok) << length << refusal_words(why);
      ASSERT_EQ(image->count, 2);
    }
  }
}

TEST(ReadBe32, StaysInsideTheBuffer) {
  const unsigned char bytes[] = {0x12, 0x34, 0x56, 0x78, 0x9A};
  EXPECT_EQ(read_be32(bytes, 5, 0), 0x12345678u);
  EXPECT_EQ(read_be32(bytes, 5, 1), 0x3456789Au);
  EXPECT_EQ(read_be32(bytes, 5, 2), 0u);
  EXPECT_EQ(read_be32(bytes, 5, 6), 0u);
  EXPECT_EQ(read_be32(bytes, 5, SIZE_MAX), 0u);
}

}  // namespace
