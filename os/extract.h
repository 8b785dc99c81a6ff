// Writing every stored patch to a single-patch file (".KA1") of its own:
// exactly the patch's bytes as they stand in the bank, no header, no trailer.

#ifndef VORTRIM_OS_EXTRACT_H
#define VORTRIM_OS_EXTRACT_H

#include <cstdio>
#include <string>

#include "core/bank_image.h"

// Writes each stored patch, in memory order, to the destination path (the
// -e value and this host's separator) + its file name (patch_file_name, for
// this host), with one progress line each on `out`.
// Each file is whole or absent, and gets a name of its own: a name whose
// path leads to a file written earlier in the run takes the next "~N". A
// file that cannot be created or written is reported on its line and
// skipped; the directory is never created. Returns false if what was
// written could not all be put on the disk at the end. For a `terminal` the
// names' control bytes are shown as "?".
bool extract_patches(std::FILE* out, const BankImage& image,
                     const std::string& destination, bool terminal = false);

#endif  // VORTRIM_OS_EXTRACT_H
