// Writing every stored patch to a single-patch file (".KA1") of its own:
// exactly the patch's bytes as they stand in the bank, no header, no trailer.

#ifndef VORTRIM_OUTPUT_EXTRACT_H
#define VORTRIM_OUTPUT_EXTRACT_H

#include <cstdio>
#include <string>

#include "bank/bank_image.h"

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// The -e value, with `separator` appended unless it already ends in one (an
// empty value gives the separator alone).
std::string destination_path(const std::string& value,
                             char separator = kPathSeparator);

// Writes each stored patch, in memory order, to destination + its file name
// (patch_file_name, for this host), with one progress line each on `out`.
// Each file is whole or absent, and gets a name of its own: a name whose
// path leads to a file written earlier in the run takes the next "~N". A
// file that cannot be created or written is reported on its line and
// skipped; the directory is never created. Returns false if what was
// written could not all be put on the disk at the end. For a `terminal` the
// names' control bytes are shown as "?".
bool extract_patches(std::FILE* out, const BankImage& image,
                     const std::string& destination, bool terminal = false);

#endif  // VORTRIM_OUTPUT_EXTRACT_H
