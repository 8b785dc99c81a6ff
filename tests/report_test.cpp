#include <gtest/gtest.h>

#include <memory>

#include "core/messages.h"
#include "core/report.h"
#include "tests/bank_builder.h"
#include "tests/test_util.h"

namespace {

std::string report(const TestBank& bank, bool list) {
  auto image = std::make_unique<BankImage>();
  BankRefusal why;
  if (!load_bytes(build_bank(bank), *image, &why)) return "refused: " + refusal_words(why);
  return capture([&](std::FILE* out) { print_report(out, *image, "BANK.KAA", list); });
}

struct SummaryCase {
  std::uint32_t used;  // end pointer minus base
  const char* tail;    // the summary after "patches. "
};

class Summary : public testing::TestWithParam<SummaryCase> {};

TEST_P(Summary, FreeBytesAndPercentage) {
  const TestBank bank{.patches = {{.slot = 0, .name = "P", .sources = 0, .pointer = 0x100}},
                      .end = 0x100 + GetParam().used};
  EXPECT_EQ(report(bank, false),
            std::string("\"BANK.KAA\" contains 1 patches. ") + GetParam().tail + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Free, Summary,
    testing::Values(SummaryCase{82, "130990 bytes (99.94% of memory) free."},
                    SummaryCase{32768, "98304 bytes (75.00% of memory) free."},
                    SummaryCase{131072, "0 bytes ( 0.00% of memory) free."},
                    // Exact halves round away from zero: 3.125 and 0.625.
                    SummaryCase{131072 - 4096, "4096 bytes ( 3.13% of memory) free."},
                    SummaryCase{131072 - 819, "819 bytes ( 0.62% of memory) free."},
                    SummaryCase{131072 - 820, "820 bytes ( 0.63% of memory) free."},
                    SummaryCase{131072 - 655, "655 bytes ( 0.50% of memory) free."},
                    SummaryCase{131072 - 6, "6 bytes ( 0.00% of memory) free."},
                    SummaryCase{131072 - 7, "7 bytes ( 0.01% of memory) free."}));

TEST(PercentHundredths, HalvesRoundAwayFromZero) {
  // Every free count that is an exact half of a hundredth: 4096 times odd.
  for (std::uint32_t free = 4096; free <= kMemorySize; free += 8192) {
    const std::uint64_t twice = std::uint64_t{free} * 20000 / kMemorySize;  // odd
    EXPECT_EQ(percent_hundredths(free), (twice + 1) / 2) << free;
  }
  EXPECT_EQ(percent_hundredths(kMemorySize), 10000u);
}

// The hand-made listing line must be what printf makes of the same fields.
TEST(ListingLine, MatchesPrintf) {
  const std::vector<std::string> names{"Strings1", "Pad     ", "        ", std::string("A\0", 2),
                                       std::string("\0", 1), "\xE9t\xE9 % s"};
  const std::vector<std::string> maps{"AAAAAA", "AP----", "------"};
  const std::vector<int> slots{0, 8, 9, 98, 99, 127};
  const std::vector<int> sizes{82, 168, 974, 999, 1000, 5434};
  PatchEntry e;
  for (const std::string& name : names) {
    for (std::size_t i = 0; i < slots.size(); ++i) {
      e.slot = slots[i];
      e.size = sizes[i];
      e.name.fill('\0');
      std::copy(name.begin(), name.end(), e.name.begin());
      const std::string& map = maps[i % maps.size()];
      std::copy(map.begin(), map.end(), e.source_map.begin());
      char expected[64];
      std::snprintf(expected, sizeof expected, " % 4d  %8s  %6s % 5d\n", e.slot + 1,
                    e.name.data(), e.source_map.data(), e.size);
      char line[kListingLineLength];
      format_listing_line(e, line);
      EXPECT_EQ(std::string(line, sizeof line), expected) << name << " " << e.slot;
    }
  }
}

TEST(Report, EmptyBank) {
  EXPECT_EQ(report({}, true),
            "\"BANK.KAA\" contains 0 patches. 131072 bytes (100.00% of memory) free.\n"
            "number name     sources  size\n");
}

TEST(Report, ListsInMemoryOrderWithSlotPlusOne) {
  const TestBank bank{.patches = {
                          {.slot = 127, .name = "Last", .sources = 6, .kits = "AAAAAA"},
                          {.slot = 0, .name = "Strings1", .sources = 2, .kits = "APAA"},
                          {.slot = 41, .name = std::string("N\0ul", 4), .sources = 0},
                          {.slot = 9, .name = "Pad Str ", .sources = 1, .kits = "P"},
                      }};
  EXPECT_EQ(report(bank, true),
            "\"BANK.KAA\" contains 4 patches. 124328 bytes (94.85% of memory) free.\n"
            "number name     sources  size\n"
            "  128  Last      AAAAAA  5434\n"
            "    1  Strings1  AP----  1060\n"
            "   42         N  ------    82\n"
            "   10  Pad Str   P-----   168\n");
  // Without the list flag, only the summary.
  EXPECT_EQ(report(bank, false),
            "\"BANK.KAA\" contains 4 patches. 124328 bytes (94.85% of memory) free.\n");
}

}  // namespace
