// Runs the built program as a user would, for the command-line tests.
//
// Which program runs is a setting, read from the environment, so that the
// same cases can check another build of it (the Windows one under Wine):
//   VORTRIM_TEST_COMMAND    the words that start it; by default the vortrim
//                           built next to these tests
//   VORTRIM_TEST_CRLF       "1": it writes every line break as CR LF
//   VORTRIM_TEST_SEPARATOR  the separator it appends to a destination path;
//                           "/" by default

#ifndef VORTRIM_TESTS_RUN_PROGRAM_H
#define VORTRIM_TESTS_RUN_PROGRAM_H

#include <filesystem>
#include <string>
#include <vector>

struct RunResult {
  std::string out;
  std::string err;
  int status = -1;  // the exit status; -1 if it did not exit normally
};

// Runs the program with `args` in directory `cwd`. Standard output goes to
// `stdout_path` if one is given (and is then not captured).
RunResult run_program(const std::vector<std::string>& args,
                      const std::filesystem::path& cwd,
                      const std::string& stdout_path = "");

// `text` with its line breaks as the program under test writes them.
std::string as_output(const std::string& text);

// The separator the program under test appends to a destination path.
char program_separator();

#endif  // VORTRIM_TESTS_RUN_PROGRAM_H
