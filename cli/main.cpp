// vortrim: report on a K5000 bank file, list its patches, and write each
// patch to a ".KA1" file of its own.
//
// Every way out of the program goes through the exit handler, which prints
// the exit message between line breaks; a failure sets the message and exits
// with status 1 at once. Nothing is ever written to standard error.

#include <sys/stat.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "bank/bank_image.h"
#include "cli/options.h"
#include "output/extract.h"
#include "output/report.h"

namespace {

// The one piece of global state: what the exit handler prints.
std::string exit_message;

void print_exit_message() {
  std::printf("\n%s\n", exit_message.c_str());
  // Output that never arrived (a full disk, a closed pipe) is no success.
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) std::_Exit(1);
}

[[noreturn]] void fail(const std::string& message) {
  exit_message = message;
  std::exit(1);
}

#ifdef _WIN32
bool is_terminal(std::FILE* f) { return _isatty(_fileno(f)) != 0; }

bool is_directory(std::FILE* f) {
  struct _stat64 st;
  return _fstat64(_fileno(f), &st) == 0 && (st.st_mode & _S_IFDIR) != 0;
}
#else
bool is_terminal(std::FILE* f) { return isatty(fileno(f)) != 0; }

// fopen succeeds on a directory here; it is no bank file.
bool is_directory(std::FILE* f) {
  struct stat st;
  return fstat(fileno(f), &st) == 0 && S_ISDIR(st.st_mode);
}
#endif

}  // namespace

#ifdef __MINGW32__
// Arguments reach the program as the host splits them, with no wildcard
// expansion: "-i*.KAA" names a file called "*.KAA".
extern "C" {
int _dowildcard = 0;
}
#endif

int main(int argc, char** argv) {
  if (std::atexit(print_exit_message) != 0) return 1;
#ifdef SIGPIPE
  // Output that goes away (`vortrim ... | head -1`) must not stop an
  // extraction half way: the write fails instead, as on Windows, the run
  // goes on, and the exit handler reports the lost output with status 1.
  std::signal(SIGPIPE, SIG_IGN);
#endif
  // On a terminal each print shows at once, even mid-line (a file name
  // waiting for its failure message). Redirected output stays buffered a
  // line at a time: a stop signal (Ctrl+C, SIGTERM, SIGHUP) ends the process
  // without writing out a buffer, and must cost no completed line of a log.
  const bool terminal = is_terminal(stdout);
  if (terminal) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
  } else {
    std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
  }

  const Options options = read_options(argc, argv);
  if (options.error || !options.input) fail(kUsageText);

  std::FILE* in = std::fopen(options.input->c_str(), "rb");
  if (in == nullptr) fail("Cannot open input file.");
  if (is_directory(in)) {
    std::fclose(in);
    fail("Cannot open input file.");
  }
  BankImage image;
  std::string err;
  const bool loaded = load_bank(image, in, &err);
  std::fclose(in);  // read-only: nothing to lose if closing fails
  if (!loaded) fail(err);

  print_report(stdout, image, *options.input, options.list, terminal);
  if (options.destination && !extract_patches(stdout, image, *options.destination, terminal)) {
    fail("Cannot write KA1 files to the disk.");
  }
  return 0;
}
