// The program from the outside: exact standard output, nothing on standard
// error, and the exit status.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "tests/bank_builder.h"
#include "tests/run_program.h"
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

struct RefusalCase {
  const char* what;
  TestBank bank;
  std::string message;  // what follows the name
  std::string file = "BAD.KAA";
};

class CliRefusal : public testing::TestWithParam<RefusalCase> {};

// A damaged bank ends the run before the summary: the message alone.
TEST_P(CliRefusal, PrintsOnlyTheMessage) {
  const ScratchDir dir;
  const RefusalCase& c = GetParam();
  std::filesystem::create_directories((dir.path / c.file).parent_path());
  ASSERT_TRUE(write_bytes((dir.path / c.file).string(), build_bank(c.bank)));
  const RunResult r = run_program({"-i" + c.file, "-l"}, dir.path);
  EXPECT_EQ(r.out, as_output("\n\"" + c.file + "\" " + c.message + "\n"));
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Damaged, CliRefusal,
    testing::Values(
        RefusalCase{"empty", {.file_size = 0}, "is not a K5000 bank: it is too short to be one."},
        RefusalCase{"end pointer", {.patches = {{.slot = 0, .name = "A"}}, .end = 1},
                    "is not a K5000 bank: its table points outside patch memory."},
        RefusalCase{"outside",
                    {.patches = {{.slot = 8, .name = "A", .pointer = 0x40000}},
                     .base = 0x40000,
                     .end = 0x40000,
                     .file_size = kHeaderSize},
                    "is cut off: patch 9 ends past the end of the file."},
        RefusalCase{"sources", {.patches = {{.slot = 127, .name = "A", .sources = 200}}},
                    "is damaged: patch 128 claims 200 sources, and a patch has at most 6."},
        // The name as given, folder and all; a patch file is said to be one.
        RefusalCase{"in a folder", {.file_size = 100},
                    "is not a K5000 bank: it is too short to be one.", "Banks/Pad.KAA"},
        RefusalCase{"a patch file", {.file_size = 168},
                    "is not a K5000 bank: it is too short to be one. "
                    "A .KA1 file holds one patch, not a bank.",
                    "Pad.ka1"},
        RefusalCase{"a long patch file, read as a table",
                    {.patches = {{.slot = 0, .name = "A"}}, .end = 1},
                    "is not a K5000 bank: its table points outside patch memory. "
                    "A .KA1 file holds one patch, not a bank.",
                    "Pad.KA1"}),
    NameByWhat());

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

// Bash completion, driven in a real bash as bash drives it: the word under
// the cursor in COMP_WORDS, the completion function called, COMPREPLY read
// back (sorted: bash sorts it for the screen anyway), and what the function
// asks of bash through compopt. Nothing else may be printed.
// The shell a completion case types into.
enum class Shell {
  kNone,  // the completion function called with the word, as bash would
  kBash,  // an interactive bash
  kZsh,   // an interactive zsh, through its bashcompinit
};

struct CompletionCase {
  const char* what;
  std::string word;   // as typed, quotes and backslashes included
  // Shell::kNone: "compopt ..." lines, then COMPREPLY, a line each. Else
  // the line that the shell shows after "vortrim ", the word and a Tab
  // ("$HOME" standing for its home folder).
  std::string reply;
  Shell shell = Shell::kNone;
};

// The line an interactive shell shows after `typed` and a Tab, written by a
// key bound to save it (to a file renamed into place, so that it is never
// read half written). The shell reads from a pseudo-terminal, as from a
// person, so its line editor splits the word as it would, quotes included.
// It runs in `dir`, with `dir`/home as its home folder.
std::string line_after_tab(const std::filesystem::path& dir, const std::string& typed,
                           Shell shell) {
  const std::string source = std::string("source '") + VORTRIM_COMPLETION + "'; ";
  const std::string setup =
      shell == Shell::kBash
          ? source + "bind -x '\"\\C-x\\C-l\": printf %s \"$READLINE_LINE\" >line.new && mv line.new line'\n"
          : "autoload -U +X compinit && compinit -u && autoload -U +X bashcompinit && "
            "bashcompinit && " + source +
                "save() { print -rn -- \"$BUFFER\" >line.new && mv line.new line }; zle -N save; "
                "bindkey '^X^L' save\n";
  const int terminal = posix_openpt(O_RDWR | O_NOCTTY);
  if (terminal < 0 || grantpt(terminal) != 0 || unlockpt(terminal) != 0) return "no terminal";
  const pid_t pid = fork();
  if (pid == 0) {
    const int tty = setsid() < 0 ? -1 : open(ptsname(terminal), O_RDWR);
    if (tty < 0 || ioctl(tty, TIOCSCTTY, 0) != 0 || dup2(tty, 0) < 0 || dup2(tty, 1) < 0 ||
        dup2(tty, 2) < 0 || chdir(dir.c_str()) != 0 ||
        setenv("HOME", (dir / "home").c_str(), 1) != 0 || setenv("TERM", "xterm", 1) != 0 ||
        setenv("INPUTRC", "/dev/null", 1) != 0) {
      _exit(126);
    }
    if (shell == Shell::kBash) execlp("bash", "bash", "--norc", "--noprofile", "-i", nullptr);
    execlp("zsh", "zsh", "-f", "-i", nullptr);
    _exit(127);
  }
  const std::string keys = setup + "vortrim " + typed + "\t\x18\x0c";
  const std::filesystem::path saved = dir / "line";
  std::error_code ec;
  if (write(terminal, keys.data(), keys.size()) == static_cast<ssize_t>(keys.size())) {
    // What the shell writes to the terminal is read away, so that it never
    // waits, for up to ten seconds on a busy machine.
    char buffer[4096];
    pollfd shown{.fd = terminal, .events = POLLIN, .revents = 0};
    for (int wait = 0; wait < 1000 && !std::filesystem::exists(saved, ec); ++wait) {
      if (poll(&shown, 1, 10) > 0 && read(terminal, buffer, sizeof buffer) <= 0) break;
      usleep(10000);
    }
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  close(terminal);
  const std::vector<unsigned char> line = read_bytes(saved);
  std::filesystem::remove(saved, ec);
  return {line.begin(), line.end()};
}

// Registered so that bash quotes what it inserts as file names.
const std::string kRegistered = "complete -o filenames -F _vortrim vortrim\n";

class Completion : public testing::TestWithParam<CompletionCase> {};

TEST_P(Completion, OffersWhatFits) {
  if (!runs_natively()) GTEST_SKIP() << "bash completion is for Linux";
  const ScratchDir dir;
  for (const char* folder : {"My Banks", "Synths", "Synths/Sub"}) {
    std::filesystem::create_directory(dir.path / folder);
  }
  for (const char* file :
       {"My Bank.KAA", "other.kaa", "notes.txt", "R&B 100%.KAA", "Synths/A.KAA"}) {
    ASSERT_TRUE(write_bytes((dir.path / file).string(), {}));
  }
  const CompletionCase& c = GetParam();
  if (c.shell != Shell::kNone) {
    if (c.shell == Shell::kZsh && run_command({"zsh", "-fc", "echo here"}) != "here\n") {
      GTEST_SKIP() << "needs zsh";
    }
    std::filesystem::create_directories(dir.path / "home" / "Banks");
    std::string line = c.reply;
    const std::size_t home = line.find("$HOME");
    if (home != std::string::npos) line.replace(home, 5, (dir.path / "home").string());
    EXPECT_EQ(line_after_tab(dir.path, c.word, c.shell), line);
    return;
  }
  const std::string script =
      "cd \"$1\" && source \"$2\" || exit 1\n"
      "compopt() { echo \"compopt $*\"; }\n"
      "complete=$(complete -p vortrim) && echo \"$complete\" || exit 1\n"
      "function=${complete#*-F }; function=${function%% *}\n"
      "COMP_WORDS=(vortrim \"$3\"); COMP_CWORD=1\n"
      "COMP_LINE=\"vortrim $3\"; COMP_POINT=${#COMP_LINE}\n"
      "\"$function\" vortrim \"$3\" vortrim\n"
      "((${#COMPREPLY[@]} == 0)) || printf '%s\\n' \"${COMPREPLY[@]}\" | LC_ALL=C sort\n";
  const std::string reply = run_command({"bash", "--norc", "--noprofile", "-c", script, "bash",
                                      dir.path.string(), VORTRIM_COMPLETION, GetParam().word});
  EXPECT_EQ(reply, kRegistered + GetParam().reply);
}

INSTANTIATE_TEST_SUITE_P(
    Words, Completion,
    testing::Values(
        CompletionCase{"a dash offers the options", "-", "-e\n-i\n-l\n"},
        CompletionCase{"nothing typed offers the options", "", "-e\n-i\n-l\n"},
        CompletionCase{"-l is whole", "-l", "-l\n"},
        CompletionCase{"-i offers banks in any case and folders", "-i",
                       "-iMy Bank.KAA\n-iMy Banks/\n-iR&B 100%.KAA\n"
                       "-iSynths/\n-iother.kaa\n"},
        CompletionCase{"a space typed with a backslash", "-iMy\\ B",
                       "-iMy Bank.KAA\n-iMy Banks/\n"},
        CompletionCase{"a name begun with a quote", "-i\"My B",
                       "-iMy Bank.KAA\n-iMy Banks/\n"},
        CompletionCase{"inside a folder", "-iSynths/",
                       "-iSynths/A.KAA\n-iSynths/Sub/\n"},
        CompletionCase{"upper-case letter, a name with & and %", "-IR",
                       "-IR&B 100%.KAA\n"},
        CompletionCase{"-e offers folders only", "-e",
                       "-eMy Banks/\n-eSynths/\n"},
        // A lone folder is completed without a space, ready for what is in it.
        CompletionCase{"a single folder stays open", "-eSyn",
                       "compopt -o nospace\n-eSynths/\n"},
        CompletionCase{"a word without a dash gets nothing", "BANK", ""},
        // Typed into bash: readline completes the text after an open quote.
        CompletionCase{"typed: unquoted", "-iMy\\ Bank.", "vortrim -iMy\\ Bank.KAA ", Shell::kBash},
        CompletionCase{"typed: a double quote after the letter", "-i\"My Bank.",
                       "vortrim -i\"My Bank.KAA\" ", Shell::kBash},
        CompletionCase{"typed: a single quote after the letter", "-i'My Bank.",
                       "vortrim -i'My Bank.KAA' ", Shell::kBash},
        CompletionCase{"typed: a quote before the dash", "\"-iMy Bank.",
                       "vortrim \"-iMy Bank.KAA\" ", Shell::kBash},
        // A folder in quotes is closed and gets its slash, as bash's own
        // completion of file names does.
        CompletionCase{"typed: a folder with spaces", "-e\"My", "vortrim -e\"My Banks\"/", Shell::kBash},
        CompletionCase{"typed: inside a quoted folder", "-i\"Synths\"/A",
                       "vortrim -iSynths/A.KAA ", Shell::kBash},
        // The shell expands no "~" glued to -i: the folder itself is given.
        CompletionCase{"typed: home folder", "-e~/", "vortrim -e$HOME/Banks/", Shell::kBash},
        // zsh hands the function the word whole, and writes the reply
        // anew; it keeps only replies that begin as the word does.
        CompletionCase{"typed into zsh: unquoted", "-iMy\\ Bank.", "vortrim -iMy\\ Bank.KAA",
                       Shell::kZsh},
        CompletionCase{"typed into zsh: a quote after the letter", "-i\"My Bank.",
                       "vortrim -iMy\\ Bank.KAA", Shell::kZsh}),
    NameByWhat());

}  // namespace
