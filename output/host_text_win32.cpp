#include "output/host_text.h"

#include <windows.h>

namespace {

std::wstring wide_from(UINT code_page, const std::string& text) {
  const int size = static_cast<int>(text.size());
  const int n = MultiByteToWideChar(code_page, 0, text.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(code_page, 0, text.data(), size, wide.data(), n);
  return wide;
}

}  // namespace

std::wstring utf16(const std::string& utf8) { return wide_from(CP_UTF8, utf8); }

std::string utf8(const std::wstring& utf16) {
  const int size = static_cast<int>(utf16.size());
  const int n = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), size, nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, utf16.data(), size, text.data(), n, nullptr, nullptr);
  return text;
}

std::string host_text(const std::string& name) { return utf8(wide_from(CP_ACP, name)); }
