// vortrim: report on a K5000 bank file, list its patches, and write each
// patch to a ".KA1" file of its own.
//
// Every way out of the program goes through the exit handler, which prints
// the exit message between line breaks; a failure sets the message and exits
// with status 1 at once. Nothing is ever written to standard error. What
// differs between hosts is in os/host.h's two halves.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "cli/options.h"
#include "core/bank_image.h"
#include "core/messages.h"
#include "core/report.h"
#include "os/extract.h"
#include "os/host.h"

namespace {

// The one piece of global state: what the exit handler prints.
std::string exit_message;

void print_exit_message() {
  std::printf("\n%s\n", exit_message.c_str());
  // Output that never arrived (a full disk, a closed pipe) is no success.
  const bool lost = std::fflush(stdout) != 0 || std::ferror(stdout);
  restore_output();
  if (lost) std::_Exit(1);
}

[[noreturn]] void fail(const std::string& message) {
  exit_message = message;
  std::exit(1);
}

// The run sequence, with the arguments as UTF-8.
int run(int argc, const char* const* argv) {
  if (std::atexit(print_exit_message) != 0) return 1;
  const bool terminal = prepare_output();

  const Options options = read_options(argc, argv);
  if (options.error || !options.input) fail(kUsageText);

  std::FILE* in = open_bank_file(*options.input);
  if (in == nullptr) fail(kCannotOpenInput);
  BankImage image;
  BankRefusal why;
  const bool loaded = load_bank(image, in, &why);
  std::fclose(in);  // read-only: nothing to lose if closing fails
  if (!loaded) fail(bank_refusal(*options.input, why));

  print_report(stdout, image, *options.input, options.list, terminal, host_text);
  if (options.destination && !extract_patches(stdout, image, *options.destination, terminal)) {
    fail(kCannotFlush);
  }
  return 0;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** wargv) { return run(argc, utf8_arguments(argc, wargv)); }
#else
int main(int argc, char** argv) { return run(argc, argv); }
#endif
