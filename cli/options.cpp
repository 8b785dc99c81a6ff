#include "cli/options.h"

Options read_options(int argc, const char* const* argv) {
  Options options;
  for (int a = 1; a < argc; ++a) {
    const char* arg = argv[a];
    if (arg[0] != '-') continue;
    // The value is the rest of the same argument: "-iBANK.KAA".
    switch (arg[1]) {
      case 'i':
      case 'I':
        options.input = arg + 2;
        break;
      case 'e':
      case 'E':
        options.destination = arg + 2;
        break;
      case 'l':
      case 'L':
        options.list = true;
        break;
      default:  // includes the NUL of a lone "-"
        options.error = true;
        break;
    }
  }
  return options;
}
