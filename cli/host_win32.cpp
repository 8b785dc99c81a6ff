#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <vector>

#include "cli/host.h"
#include "output/host_text.h"

// Arguments reach the program as the host splits them, with no wildcard
// expansion: "-i*.KAA" names a file called "*.KAA".
extern "C" {
int _dowildcard = 0;
}

namespace {

// The console's code page before the run, given back as the run ends (what
// a console control handler must reach).
UINT console_code_page = 0;

BOOL WINAPI on_console_stop(DWORD) {
  restore_output();
  return FALSE;  // and the run ends as it would have
}

}  // namespace

bool prepare_output() {
  const bool terminal = _isatty(_fileno(stdout)) != 0;
  if (!terminal) {
    std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
    return false;
  }
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  console_code_page = GetConsoleOutputCP();
  SetConsoleCtrlHandler(on_console_stop, TRUE);
  SetConsoleOutputCP(CP_UTF8);
  return true;
}

void restore_output() {
  if (console_code_page != 0) SetConsoleOutputCP(console_code_page);
}

std::FILE* open_bank_file(const std::string& path) {
  // Paths keep every character: the wide call, not the ANSI one.
  std::FILE* in = _wfopen(utf16(path).c_str(), L"rb");
  struct _stat64 st;
  if (in != nullptr && _fstat64(_fileno(in), &st) == 0 && (st.st_mode & _S_IFDIR) != 0) {
    std::fclose(in);
    return nullptr;
  }
  return in;
}

const char* const* utf8_arguments(int argc, wchar_t** wargv) {
  static std::vector<std::string> args;
  static std::vector<const char*> argv;
  for (int i = 0; i < argc; ++i) args.push_back(utf8(wargv[i]));
  for (const std::string& a : args) argv.push_back(a.c_str());
  argv.push_back(nullptr);
  return argv.data();
}
