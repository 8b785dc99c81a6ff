#include <gtest/gtest.h>

#include <memory>

#include "bank/bank_image.h"
#include "tests/bank_builder.h"
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
  std::string err;
  ASSERT_TRUE(load_bytes(build_bank(c.bank), *image, &err)) << err;
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

struct RefusalCase {
  const char* what;
  TestBank bank;
  const char* message;
};

class RefuseBank : public testing::TestWithParam<RefusalCase> {};

TEST_P(RefuseBank, WithTheFirstFault) {
  auto image = std::make_unique<BankImage>();
  std::string err;
  EXPECT_FALSE(load_bytes(build_bank(GetParam().bank), *image, &err));
  EXPECT_EQ(err, GetParam().message);
}

const TestPatch kOne{.slot = 0, .name = "One", .sources = 1, .kits = "P"};  // 168 bytes

INSTANTIATE_TEST_SUITE_P(
    Damaged, RefuseBank,
    testing::Values(
        RefusalCase{"empty file", {.file_size = 0},
                    "is not a K5000 bank: it is too short to be one."},
        RefusalCase{"table without its last byte", {.file_size = kHeaderSize - 1},
                    "is not a K5000 bank: it is too short to be one."},
        RefusalCase{"end below the base", {.patches = {kOne}, .end = 0x1FFFF},
                    "is not a K5000 bank: its table points outside patch memory."},
        RefusalCase{"end one past the memory",
                    {.patches = {kOne}, .end = 0x20000 + kMemorySize + 1},
                    "is not a K5000 bank: its table points outside patch memory."},
        RefusalCase{"name past the memory",
                    {.patches = {kOne, {.slot = 6, .name = "X", .pointer = 0x20000 + kMemorySize - 51}},
                     .end = 0x20000 + kMemorySize},
                    "is not a K5000 bank: its table points outside patch memory."},
        RefusalCase{"pointer at the last byte of the memory",
                    {.patches = {kOne, {.slot = 8, .name = "X", .pointer = 0x20000 + kMemorySize - 1}},
                     .end = 0x20000 + kMemorySize},
                    "is not a K5000 bank: its table points outside patch memory."},
        RefusalCase{"too many sources",
                    {.patches = {kOne, {.slot = 1, .name = "Seven", .sources = 7}}},
                    "is damaged: patch 2 claims 7 sources, and a patch has at most 6."},
        RefusalCase{"the largest source count",
                    {.patches = {{.slot = 99, .name = "Max", .sources = 255}}},
                    "is damaged: patch 100 claims 255 sources, and a patch has at most 6."},
        // The name and the count fit exactly; the count is what is wrong.
        RefusalCase{"seven sources in the memory's last byte",
                    {.patches = {kOne, {.slot = 4, .name = "Edge", .sources = 7,
                                        .pointer = 0x20000 + kMemorySize - 52}},
                     .end = 0x20000 + kMemorySize},
                    "is damaged: patch 5 claims 7 sources, and a patch has at most 6."},
        // end - base wraps around to a small number.
        RefusalCase{"end below the base near 2^32",
                    {.patches = {{.slot = 0, .name = "Top", .pointer = 0xFFFFFF00}},
                     .base = 0xFFFFFF00,
                     .end = 0x10},
                    "is not a K5000 bank: its table points outside patch memory."},
        RefusalCase{"size past the memory",
                    {.patches = {kOne, {.slot = 2, .name = "Edge", .pointer = 0x20000 + kMemorySize - 52}},
                     .end = 0x20000 + kMemorySize},
                    "is not a K5000 bank: its table points outside patch memory."},
        RefusalCase{"patch past the end of the file",
                    {.patches = {kOne, {.slot = 3, .name = "Cut", .sources = 1}},
                     .file_size = kHeaderSize + 168 + 167},
                    "is cut off: patch 4 ends past the end of the file."},
        RefusalCase{"faults are reported in memory order, not slot order",
                    {.patches = {{.slot = 0, .name = "Late", .sources = 9, .pointer = 0x30000},
                                 {.slot = 1, .name = "Early", .sources = 8, .pointer = 0x20000}},
                     .end = 0x30000},
                    "is damaged: patch 2 claims 8 sources, and a patch has at most 6."}),
    NameByWhat());

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
    std::string err;
    const bool ok = load_bytes(cut, *image, &err);
    if (length < kHeaderSize) {
      ASSERT_EQ(err, "is not a K5000 bank: it is too short to be one.") << length;
    } else if (length < used) {
      ASSERT_FALSE(ok) << length;
      ASSERT_EQ(err.rfind("is cut off: patch ", 0), 0u) << length;
    } else {
      ASSERT_TRUE(ok) << length << err;
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
