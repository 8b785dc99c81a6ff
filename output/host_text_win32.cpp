#include "output/host_text.h"

#include <windows.h>

std::string host_text(const std::string& name) {
  if (name.empty()) return name;
  const int size = static_cast<int>(name.size());
  const int n = MultiByteToWideChar(CP_ACP, 0, name.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, name.data(), size, wide.data(), n);
  const int m = WideCharToMultiByte(CP_UTF8, 0, wide.data(), n, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(m), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), n, utf8.data(), m, nullptr, nullptr);
  return utf8;
}
