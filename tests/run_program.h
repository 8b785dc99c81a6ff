// Runs the built program as a user would, for the command-line tests.
//
// The same cases check two builds. Which one a harness runs is compiled into
// it, so that no setting can go astray on the way:
//   VORTRIM_PROGRAM      the program: the Linux build, or vortrim.exe
//   VORTRIM_WINE         set for vortrim.exe: the Wine that runs it, with
//   VORTRIM_WINE_PREFIX  the prefix made for the tests
// Under Wine line breaks come as CR LF, the separator the program appends is
// "\\", and a failed write cannot be provoked (Wine does not pass a file size
// limit on).

#ifndef VORTRIM_TESTS_RUN_PROGRAM_H
#define VORTRIM_TESTS_RUN_PROGRAM_H

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

struct RunResult {
  std::string out;
  std::string err;
  int status = -1;  // the exit status; -1 if it did not exit normally
  int signal = 0;   // the signal that ended it, if one did
  int pid = 0;
  std::string shown_when_stopped;  // on the terminal when it last stopped
};

// A call of the write path that a preloaded shim disturbs (natively only):
// at the `at`th call of `call` ("write", "tmpfile" for an unnamed temporary
// file, "sync_file_range", "linkat", "linkat-fd" for one that links a
// descriptor itself, "renameat", "syncfs", "fsync"), or at every call if
// `at` is kEveryCall, `signal` arrives (a write gets half its bytes first),
// or else the call fails with `error`; with neither, a write is cut short to
// half its bytes.
constexpr int kEveryCall = -1;
struct Fault {
  std::string call;
  int at = 1;
  int signal = 0;
  int error = 0;
};

// A temporary file of another run: whose process number it bears, and
// whether that run holds its lock (for as long as the program runs).
struct TempFile {
  enum Owner {
    kSame,    // the program's own number: a dead run's that had it before
    kParent,  // a live process's: the tests'
    kGone,    // a number no process can have (a run on another machine)
  } owner;
  bool locked;
};

// Who runs the program.
enum class User {
  kSame,   // the tests' own user (root in CI)
  kPlain,  // "nobody": the child drops root's privileges before it starts
};

// Whether a program can be run as User::kPlain here: the tests run as root,
// and that user may run the program (and the fault shim) where they are.
bool plain_user_available();

// The plain user's numbers.
constexpr unsigned kPlainUid = 65534;
constexpr unsigned kPlainGid = 65534;

// Where the program's standard output goes.
enum class Stdout {
  kCaptured,  // a file, read into RunResult::out (or `stdout_path`)
  // A pipe whose reader is gone before the program starts (as after
  // `| head -1`); nothing is captured.
  kGone,
  // A pipe of one page that nobody reads: once the program is stuck writing
  // to it, it is killed with SIGKILL, wherever its work then stands; nothing
  // is captured. With `while_stopped`, that is called instead, and the pipe
  // is then read to the end into RunResult::out.
  kStalled,
  // A non-blocking pipe of one page, full when the program starts, so that
  // its writes fail; emptied while the program is stopped (a fault with
  // SIGSTOP). Nothing is captured.
  kClogged,
  // A pseudo-terminal, read into RunResult::out as the program writes.
  kTerminal,
};

struct RunOptions {
  // Standard output goes here if set, and is then not captured.
  std::string stdout_path;
  // If set, no file can grow past this many bytes: writes beyond fail, as on
  // a full disk (natively only; Wine does not pass the limit on).
  long file_size_limit = 0;
  Stdout stdout = Stdout::kCaptured;
  std::vector<Fault> faults;
  // The program starts with SIGHUP ignored, as under nohup.
  bool ignore_hangup = false;
  // If set, the program starts allowed this many open files (the soft
  // limit, as `ulimit -Sn`); it may raise it up to the hard limit.
  int open_files = 0;
  User user = User::kSame;
  // The program runs in a PID namespace of its own (natively, as root), where
  // no process outside it can be seen.
  bool own_pid_namespace = false;
  // Called while the program is stopped (a fault with SIGSTOP); it goes on
  // afterwards.
  std::function<void()> while_stopped;
  // Temporary files of other runs in `temps_in` when the program starts
  // (natively only), each "vortrim-incomplete-<process>-1.tmp" holding
  // "live".
  std::string temps_in;
  std::vector<TempFile> temps;
  // Under Wine only: this Windows program is run instead, with `args`.
  std::string windows_program;
};

// Runs the program with `args` in directory `cwd`.
RunResult run_program(const std::vector<std::string>& args,
                      const std::filesystem::path& cwd,
                      const RunOptions& options = {});

// `text` with its line breaks as the program under test writes them.
std::string as_output(const std::string& text);

// The separator the program under test appends to a destination path.
char program_separator();

// The name of a temporary file that a run with process number `pid` found.
std::string temp_file_name(const TempFile& temp, int pid);

// The program under test, as built.
std::string program_path();

// Under Wine: the drop target for Windows Explorer, and a program that
// starts it as Explorer does when files are dropped on it.
struct DropTargetFiles {
  std::string script;
  std::string starter;
};
DropTargetFiles drop_target();

// A path as a Windows program under Wine names it.
std::string windows_path(const std::filesystem::path& path);

// Whether the program runs directly on this Linux host: Linux-only means
// such as /proc, or a file size limit that makes writes fail (Wine does not
// pass it on), can then be used on it.
bool runs_natively();

// Whether the program under test is the portable POSIX build, as on macOS
// and the BSDs: no unnamed files, so each patch is written and named in one
// go through a named temporary file (which a killed run leaves until the
// next run), flushed with fsync before its name.
bool portable_posix();

#endif  // VORTRIM_TESTS_RUN_PROGRAM_H
