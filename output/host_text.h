// Patch names as this host's text. On Windows the program's text is UTF-8
// throughout (its arguments are read as Windows gives them, in UTF-16, so a
// path keeps every character), while a patch name's 8-bit bytes are read in
// the ANSI code page, as Windows has always read them: the same name makes
// the same file as it always did, and a log shows it as the file is named.
// Elsewhere names are bytes, and stay as they are.

#ifndef VORTRIM_OUTPUT_HOST_TEXT_H
#define VORTRIM_OUTPUT_HOST_TEXT_H

#include <string>

#ifdef _WIN32
// host_text_win32.cpp
std::string host_text(const std::string& name);

// The program's UTF-8 text as the wide Windows calls take it, and back.
std::wstring utf16(const std::string& utf8);
std::string utf8(const std::wstring& utf16);
#else
inline std::string host_text(const std::string& name) { return name; }
#endif

#endif  // VORTRIM_OUTPUT_HOST_TEXT_H
