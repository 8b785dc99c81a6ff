// The command line: "-i<infile>", "-e<outpath>", "-l", in either case, each
// value in the same argument as its letter.

#ifndef VORTRIM_CLI_OPTIONS_H
#define VORTRIM_CLI_OPTIONS_H

#include <optional>
#include <string>

struct Options {
  std::optional<std::string> input;        // -i, possibly empty
  std::optional<std::string> destination;  // -e, possibly empty
  bool list = false;                       // -l
  bool error = false;  // "-" alone, or "-" and a letter that is no option
};

// Reads argv[1] to argv[argc - 1]. Arguments that do not begin with "-" are
// ignored; a repeated -i or -e replaces the earlier value.
Options read_options(int argc, const char* const* argv);

#endif  // VORTRIM_CLI_OPTIONS_H
