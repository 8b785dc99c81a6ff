// What the program needs of its host, with a POSIX half (host_posix.cpp)
// and a Windows half (host_win32.cpp): standard output set up for the run
// and given back at its end, the bank file opened, the arguments and patch
// names as the program's text, and the host's rules for file names.

#ifndef VORTRIM_OS_HOST_H
#define VORTRIM_OS_HOST_H

#include <cstdio>
#include <string>

#include "core/naming.h"

// Sets standard output up for the run and says whether it is a terminal.
// On a terminal each print shows at once, even mid-line (a file name
// waiting for its failure message). Redirected output stays buffered a line
// at a time: a stop signal (Ctrl+C, SIGTERM, SIGHUP) ends the process
// without writing out a buffer, and must cost no completed line of a log.
// Output that goes away (`vortrim ... | head -1`) must not stop an
// extraction half way: the write fails instead, and the run goes on. On
// Windows a console shows the program's UTF-8 text as such only while its
// output code page is UTF-8: it is set so until restore_output, or until
// Ctrl+C ends the run.
bool prepare_output();

// Gives the console back what prepare_output changed (at every exit).
void restore_output();

// The bank file at `path` (UTF-8), open for binary reading; null if it
// cannot be opened or is a folder.
std::FILE* open_bank_file(const std::string& path);

// A patch name's 8-bit bytes as the program's text. On Windows the
// program's text is UTF-8 throughout (its arguments are read as Windows
// gives them, in UTF-16, so a path keeps every character), while a patch
// name is read in the ANSI code page, as Windows has always read it: the
// same name makes the same file as it always did, and a log shows it as the
// file is named. Elsewhere names are bytes, and stay as they are.
std::string host_text(const std::string& name);

// The rules this host's file names must pass: kWindows or kPosix.
NameRules host_name_rules();

// The separator that ends a destination folder: "\" on Windows, "/" else.
char host_separator();

// Windows only: the command line as Windows gives it, in UTF-16, as UTF-8
// arguments that last as long as the run.
const char* const* utf8_arguments(int argc, wchar_t** wargv);

#endif  // VORTRIM_OS_HOST_H
