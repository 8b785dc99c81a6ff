#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <vector>

#include "os/host.h"
#include "os/win32_text.h"

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

std::wstring wide_from(UINT code_page, const std::string& text) {
  const int size = static_cast<int>(text.size());
  const int n = MultiByteToWideChar(code_page, 0, text.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(code_page, 0, text.data(), size, wide.data(), n);
  return wide;
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

std::wstring utf16(const std::string& utf8) { return wide_from(CP_UTF8, utf8); }

std::string utf8(const std::wstring& utf16) {
  const int size = static_cast<int>(utf16.size());
  const int n = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), size, nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, utf16.data(), size, text.data(), n, nullptr, nullptr);
  return text;
}

std::string host_text(const std::string& name) { return utf8(wide_from(CP_ACP, name)); }

NameRules host_name_rules() { return NameRules::kWindows; }

char host_separator() { return '\\'; }
