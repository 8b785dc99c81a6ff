// Tab completion for bash (and zsh, through its bashcompinit), driven as
// the shells drive it.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "tests/bank_builder.h"
#include "tests/test_util.h"

namespace {

// Bash completion, driven in a real bash as bash drives it: the word under
// the cursor in COMP_WORDS, the completion function called, COMPREPLY read
// back (sorted: bash sorts it for the screen anyway), and what the function
// asks of bash through compopt. Nothing else may be printed. Or the word
// typed into a shell, and the line it shows after a Tab.

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
