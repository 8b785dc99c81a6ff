// Names as Windows compares them: two file or folder names that differ
// only in case are one name on its file systems, in every script it folds.

#ifndef VORTRIM_CORE_WINDOWS_FOLD_H
#define VORTRIM_CORE_WINDOWS_FOLD_H

#include <string>

// A code point as Windows upper-cases it to compare file names (by the
// volume's table: NTFS's $UpCase, exFAT's made alike), or itself where that
// table keeps it. Beyond the Basic Multilingual Plane nothing is folded:
// the table has one entry for each UTF-16 unit, and a surrogate is its own.
char32_t windows_upcase(char32_t c);

// UTF-8 text with each character replaced by windows_upcase's; malformed
// bytes are kept as they are. Two names are one to Windows when their folds
// are equal ("Škoda" and "škoda", "Жук" and "жук"; not "straße" and "STRASSE").
std::string windows_folded(const std::string& utf8);

// Appends the UTF-8 bytes of `c`, a code point of the Basic Multilingual
// Plane.
void append_utf8(std::string& out, char32_t c);

#endif  // VORTRIM_CORE_WINDOWS_FOLD_H
