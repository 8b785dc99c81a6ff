// What the front end needs of its host, with a POSIX half (host_posix.cpp)
// and a Windows half (host_win32.cpp): the arguments as text, standard
// output set up for the run and given back at its end, and the bank file
// opened.

#ifndef VORTRIM_CLI_HOST_H
#define VORTRIM_CLI_HOST_H

#include <cstdio>
#include <string>

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

#ifdef _WIN32
// The command line as Windows gives it, in UTF-16, as UTF-8 arguments that
// last as long as the run.
const char* const* utf8_arguments(int argc, wchar_t** wargv);
#endif

#endif  // VORTRIM_CLI_HOST_H
