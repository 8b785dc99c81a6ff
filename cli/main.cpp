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
#include <windows.h>

#include <vector>
#else
#include <unistd.h>
#endif

#include "bank/bank_image.h"
#include "cli/options.h"
#include "output/extract.h"
#include "output/host_text.h"
#include "output/report.h"

namespace {

// The one piece of global state: what the exit handler prints.
std::string exit_message;

#ifdef _WIN32
// The console's code page before the run, given back as the run ends (what
// a signal handler must reach): the program's text is UTF-8, and the console
// shows it as such only while its output code page is UTF-8.
UINT console_code_page = 0;

void restore_console() {
  if (console_code_page != 0) SetConsoleOutputCP(console_code_page);
}

BOOL WINAPI on_console_stop(DWORD) {
  restore_console();
  return FALSE;  // and the run ends as it would have
}
#endif

void print_exit_message() {
  std::printf("\n%s\n", exit_message.c_str());
  // Output that never arrived (a full disk, a closed pipe) is no success.
  const bool lost = std::fflush(stdout) != 0 || std::ferror(stdout);
#ifdef _WIN32
  restore_console();
#endif
  if (lost) std::_Exit(1);
}

[[noreturn]] void fail(const std::string& message) {
  exit_message = message;
  std::exit(1);
}

#ifdef _WIN32
bool is_terminal(std::FILE* f) { return _isatty(_fileno(f)) != 0; }

// Paths keep every character: the wide call, not the ANSI one.
std::FILE* open_bank_file(const std::string& path) { return _wfopen(utf16(path).c_str(), L"rb"); }

bool is_directory(std::FILE* f) {
  struct _stat64 st;
  return _fstat64(_fileno(f), &st) == 0 && (st.st_mode & _S_IFDIR) != 0;
}
#else
bool is_terminal(std::FILE* f) { return isatty(fileno(f)) != 0; }

std::FILE* open_bank_file(const std::string& path) { return std::fopen(path.c_str(), "rb"); }

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

namespace {

int run(int argc, const char* const* argv) {
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
#ifdef _WIN32
  if (terminal) {
    console_code_page = GetConsoleOutputCP();
    SetConsoleCtrlHandler(on_console_stop, TRUE);
    SetConsoleOutputCP(CP_UTF8);
  }
#endif

  const Options options = read_options(argc, argv);
  if (options.error || !options.input) fail(kUsageText);

  std::FILE* in = open_bank_file(*options.input);
  if (in == nullptr) fail("Cannot open input file.");
  if (is_directory(in)) {
    std::fclose(in);
    fail("Cannot open input file.");
  }
  BankImage image;
  std::string err;
  const bool loaded = load_bank(image, in, &err);
  std::fclose(in);  // read-only: nothing to lose if closing fails
  if (!loaded) fail(bank_refusal(*options.input, err));

  print_report(stdout, image, *options.input, options.list, terminal);
  if (options.destination && !extract_patches(stdout, image, *options.destination, terminal)) {
    fail("Cannot write KA1 files to the disk.");
  }
  return 0;
}

}  // namespace

#ifdef _WIN32
// Windows gives the command line in UTF-16; the program works in UTF-8.
int wmain(int argc, wchar_t** wargv) {
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) args.push_back(utf8(wargv[i]));
  std::vector<const char*> argv;
  for (const std::string& a : args) argv.push_back(a.c_str());
  argv.push_back(nullptr);
  return run(argc, argv.data());
}
#else
int main(int argc, char** argv) { return run(argc, argv); }
#endif
