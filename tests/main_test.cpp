// The program from the outside: exact standard output, nothing on standard
// error, and the exit status.

#include <gtest/gtest.h>


#include <cerrno>

#include "tests/bank_builder.h"
#include "tests/run_program.h"
#include "tests/tables.h"
#include "tests/test_util.h"

namespace {

// Written out, so that a slip in the program's copy shows.
const std::string kUsage =
    "\nvortrim usage:\n"
    "\n"
    "vortrim -i<infile> [-e<outpath>] [-l]\n"
    "Parameters: (in any order, lower or upper case)\n"
    "  -i<infile>     : read <K5000 bank (.KAA) file>\n"
    "  -e<outpath>    : extract .KA1 files to <destination path>\n"
    "  -l             : list patches\n"
    "\n";
const std::string kCannotOpen = "\nCannot open input file.\n";

// A bank with patches out of slot order and a stale kit pointer.
const TestBank kBank{.patches = {{.slot = 3, .name = "Strings1", .sources = 2, .kits = "APA"},
                                 {.slot = 0, .name = "Pad     ", .sources = 1, .kits = "A"}}};
const std::string kSummary =
    "\"BANK.KAA\" contains 2 patches. 129038 bytes (98.45% of memory) free.\n";
const std::string kListing =
    "number name     sources  size\n"
    "    4  Strings1  AP----  1060\n"
    "    1  Pad       A-----   974\n";

// Names with control bytes: an escape sequence, a line break, a bell and
// DEL; on a terminal each shows as "?".
const TestBank kControlBank{.patches = {{.slot = 0, .name = "\x1b[31mRed"},
                                        {.slot = 1, .name = "Two\nLine"},
                                        {.slot = 2, .name = "Bell\x07\x7f"}}};
const std::string kControlSummary =
    "\"CTRL.KAA\" contains 3 patches. 130826 bytes (99.81% of memory) free.\n"
    "number name     sources  size\n";

struct CliCase {
  const char* what;
  std::vector<std::string> args;
  std::string out;  // with "\n" line breaks
  int status;
  RunOptions options = {};
};

class Cli : public testing::TestWithParam<CliCase> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(write_bytes((dir.path / "BANK.KAA").string(), build_bank(kBank)));
    ASSERT_TRUE(write_bytes((dir.path / "CTRL.KAA").string(), build_bank(kControlBank)));
    std::filesystem::create_directory(dir.path / "ADIR");
    // Folders named in other scripts, a snowman outside every ANSI code page.
    for (const char* folder : {"\u0141\u00F3d\u017A", "B\u00E4nke \u2603"}) {
      std::filesystem::create_directory(dir.path / folder);
      ASSERT_TRUE(write_bytes((dir.path / folder / "BANK.KAA").string(), build_bank(kBank)));
    }
  }
  ScratchDir dir;
};

TEST_P(Cli, PrintsExactly) {
  const CliCase& c = GetParam();
  if (!runs_natively() && !c.options.faults.empty()) {
    GTEST_SKIP() << "a preloaded library does not reach into Wine";
  }
  if (!runs_natively() && c.options.stdout == Stdout::kTerminal) {
    GTEST_SKIP() << "Wine's console on a pseudo-terminal writes escape sequences of its own";
  }
  const RunResult r = run_program(c.args, dir.path, c.options);
  EXPECT_EQ(r.out, as_output(c.out));
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, c.status);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, Cli,
    testing::Values(
        CliCase{"no arguments", {}, kUsage, 1},
        CliCase{"only non-options", {"BANK.KAA", "foo"}, kUsage, 1},
        CliCase{"unknown letter: the file is not even opened", {"-iNOPE.KAA", "-x"}, kUsage, 1},
        CliCase{"lone dash", {"-", "-iBANK.KAA"}, kUsage, 1},
        CliCase{"slash is no option", {"/iBANK.KAA"}, kUsage, 1},
        CliCase{"value in the next argument", {"-i", "BANK.KAA"}, kCannotOpen, 1},
        CliCase{"empty -i", {"-i"}, kCannotOpen, 1},
        CliCase{"missing file", {"-iNOPE.KAA"}, kCannotOpen, 1},
        CliCase{"directory", {"-iADIR"}, kCannotOpen, 1},
        CliCase{"no wildcard expansion", {"-i*.KAA"}, kCannotOpen, 1},
        CliCase{"summary only", {"-iBANK.KAA"}, kSummary + "\n\n", 0},
        CliCase{"non-options ignored, upper case", {"foo", "-IBANK.KAA"}, kSummary + "\n\n", 0},
        CliCase{"listing", {"-lfoo", "-iBANK.KAA"}, kSummary + kListing + "\n\n", 0},
        CliCase{"upper-case L", {"-iBANK.KAA", "-L"}, kSummary + kListing + "\n\n", 0},
        CliCase{"the last -i counts", {"-iNOPE.KAA", "-iBANK.KAA"}, kSummary + "\n\n", 0},
        // The -i value is shown as typed, every character kept.
        CliCase{"a path with Polish letters", {"-i\u0141\u00F3d\u017A/BANK.KAA"},
                "\"\u0141\u00F3d\u017A/BANK.KAA\"" + kSummary.substr(10) + "\n\n", 0},
        CliCase{"a path with a snowman", {"-iB\u00E4nke \u2603/BANK.KAA", "-l"},
                "\"B\u00E4nke \u2603/BANK.KAA\"" + kSummary.substr(10) + kListing + "\n\n", 0},
        CliCase{"control bytes in names, redirected: as they are", {"-iCTRL.KAA", "-l"},
                kControlSummary + "    1  \x1b[31mRed  ------    82\n"
                                  "    2  Two\nLine  ------    82\n"
                                  "    3  Bell\x07\x7f    ------    82\n\n\n",
                0},
        CliCase{"control bytes in names, on a terminal: shown as ?", {"-iCTRL.KAA", "-l"},
                kControlSummary + "    1  ?[31mRed  ------    82\n"
                                  "    2  Two?Line  ------    82\n"
                                  "    3  Bell??    ------    82\n\n\n",
                0, {.stdout = Stdout::kTerminal}},
        // The pointer table is read whole; the data after it fails.
        CliCase{"read error in the data area", {"-iBANK.KAA"},
                "\n\"BANK.KAA\" could not be read: the system reported an error.\n", 1,
                {.faults = {{.call = "read", .at = 2, .error = EIO}}}}),
    NameByWhat());

class CliRefusal : public testing::TestWithParam<DamagedBank> {};

// A damaged bank ends the run before the summary: the message alone.
TEST_P(CliRefusal, PrintsOnlyTheMessage) {
  const ScratchDir dir;
  const DamagedBank& c = GetParam();
  std::filesystem::create_directories((dir.path / c.file).parent_path());
  ASSERT_TRUE(write_bytes((dir.path / c.file).string(), build_bank(c.bank)));
  const RunResult r = run_program({"-i" + c.file, "-l"}, dir.path);
  EXPECT_EQ(r.out, as_output("\n\"" + c.file + "\" " + c.words + "\n"));
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 1);
}

INSTANTIATE_TEST_SUITE_P(Damaged, CliRefusal, testing::ValuesIn(damaged_banks()), NameByWhat());

TEST(CliRun, ReadErrorIsNotAnOpenError) {
  if (!runs_natively()) GTEST_SKIP() << "needs Linux /proc";
  // Opens fine, but reading it at offset 0 fails with EIO.
  const RunResult r = run_program({"-i/proc/self/mem"}, ".");
  EXPECT_EQ(r.out, "\n\"/proc/self/mem\" could not be read: the system reported an error.\n");
  EXPECT_EQ(r.status, 1);
}

TEST(CliRun, EmptyBankListsOnlyTheHeading) {
  const ScratchDir dir;
  ASSERT_TRUE(write_bytes((dir.path / "E.KAA").string(), build_bank({})));
  const RunResult r = run_program({"-iE.KAA", "-l"}, dir.path);
  EXPECT_EQ(r.out, as_output("\"E.KAA\" contains 0 patches. 131072 bytes (100.00% of memory) "
                             "free.\nnumber name     sources  size\n\n\n"));
  EXPECT_EQ(r.status, 0);
}

// Output that cannot be written is a failure, and still nothing goes to
// standard error.
TEST(CliRun, UnwritableOutputFails) {
  const ScratchDir dir;
  ASSERT_TRUE(write_bytes((dir.path / "BANK.KAA").string(), build_bank(kBank)));
  const RunResult r = run_program({"-iBANK.KAA", "-l"}, dir.path, {.stdout_path = "/dev/full"});
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 1);
}

}  // namespace
