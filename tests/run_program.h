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
#include <string>
#include <vector>

struct RunResult {
  std::string out;
  std::string err;
  int status = -1;  // the exit status; -1 if it did not exit normally
  int signal = 0;   // the signal that ended it, if one did
};

struct RunOptions {
  // Standard output goes here if set, and is then not captured.
  std::string stdout_path;
  // If set, no file can grow past this many bytes: writes beyond fail, as on
  // a full disk (natively only; Wine does not pass the limit on).
  long file_size_limit = 0;
  // Standard output is a pipe whose reader is gone before the program starts
  // (as after `| head -1`); nothing is captured.
  bool stdout_gone = false;
  // If set (natively only), a preloaded shim stops the program with SIGTERM
  // half way through its Nth write to a file, as a user might.
  int stop_at_write = 0;
};

// Runs the program with `args` in directory `cwd`.
RunResult run_program(const std::vector<std::string>& args,
                      const std::filesystem::path& cwd,
                      const RunOptions& options = {});

// `text` with its line breaks as the program under test writes them.
std::string as_output(const std::string& text);

// The separator the program under test appends to a destination path.
char program_separator();

// Whether the program runs directly on this Linux host: Linux-only means
// such as /proc, or a file size limit that makes writes fail (Wine does not
// pass it on), can then be used on it.
bool runs_natively();

#endif  // VORTRIM_TESTS_RUN_PROGRAM_H
