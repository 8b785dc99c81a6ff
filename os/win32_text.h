// The program's UTF-8 text as the wide Windows calls take it, and back: for
// the Windows halves alone (host_win32.cpp defines them).

#ifndef VORTRIM_OS_WIN32_TEXT_H
#define VORTRIM_OS_WIN32_TEXT_H

#include <string>

std::wstring utf16(const std::string& utf8);
std::string utf8(const std::wstring& utf16);

#endif  // VORTRIM_OS_WIN32_TEXT_H
