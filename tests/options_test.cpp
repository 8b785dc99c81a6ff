#include <gtest/gtest.h>

#include <vector>

#include "cli/options.h"

namespace {

struct OptionsCase {
  std::vector<const char*> args;  // after the program name
  std::optional<std::string> input;
  std::optional<std::string> destination;
  bool list;
  bool error;
};

class ReadOptions : public testing::TestWithParam<OptionsCase> {};

TEST_P(ReadOptions, Fields) {
  const OptionsCase& c = GetParam();
  std::vector<const char*> argv{"vortrim"};
  argv.insert(argv.end(), c.args.begin(), c.args.end());
  const Options o = read_options(static_cast<int>(argv.size()), argv.data());
  EXPECT_EQ(o.input, c.input);
  EXPECT_EQ(o.destination, c.destination);
  EXPECT_EQ(o.list, c.list);
  EXPECT_EQ(o.error, c.error);
}

using S = std::string;
const std::nullopt_t none = std::nullopt;

INSTANTIATE_TEST_SUITE_P(
    CommandLines, ReadOptions,
    testing::Values(
        OptionsCase{{}, none, none, false, false},
        OptionsCase{{"-iBANK.KAA"}, S("BANK.KAA"), none, false, false},
        OptionsCase{{"foo", "-IBANK.KAA"}, S("BANK.KAA"), none, false, false},
        OptionsCase{{"-i", "BANK.KAA"}, S(""), none, false, false},
        OptionsCase{{"-iA.KAA", "-iB.KAA"}, S("B.KAA"), none, false, false},
        OptionsCase{{"-eC:\\OUT", "-E", "-iX"}, S("X"), S(""), false, false},
        OptionsCase{{"-lfoo", "-L"}, none, none, true, false},
        OptionsCase{{"-iBANK.KAA", "-x"}, S("BANK.KAA"), none, false, true},
        OptionsCase{{"-"}, none, none, false, true},
        OptionsCase{{"/iBANK.KAA"}, none, none, false, false},
        OptionsCase{{"--iBANK.KAA"}, none, none, false, true},
        OptionsCase{{"-i-e -l"}, S("-e -l"), none, false, false}));

}  // namespace
