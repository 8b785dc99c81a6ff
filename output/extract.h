// Writing every stored patch to a single-patch file (".KA1") of its own:
// exactly the patch's bytes as they stand in the bank, no header, no trailer.

#ifndef VORTRIM_OUTPUT_EXTRACT_H
#define VORTRIM_OUTPUT_EXTRACT_H

#include <cstdio>
#include <functional>
#include <set>
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

// The file stem for a patch name (8 bytes and a NUL): up to the first NUL
// as it stands, else without trailing spaces. Either separator becomes "_",
// so no stem can leave the destination directory.
std::string make_stem(const char* name);

// `stem` itself if no earlier file of this run took it, else the stem cut
// short to make room for the lowest free "~N" within 8 characters. A stem is
// free if `used` does not hold it, ASCII case ignored (as on FAT disks,
// where the files may be copied later), and `taken`, if given, says it is
// not taken. The result is recorded in `used`.
std::string unique_stem(const std::string& stem, std::set<std::string>& used,
                        const std::function<bool(const std::string&)>& taken = {});

// True for a stem that Windows would not store as a plain file: a device
// name (CON, PRN, AUX, NUL, COM0-9, LPT0-9 and COM or LPT with a
// superscript 1-3, any case, also before a dot or spaces: "nul.KA1") or a
// name holding ":" (an alternate data stream).
bool is_windows_device_or_stream(const std::string& stem);

// Writes each stored patch, in memory order, to destination + stem + ".KA1",
// with one progress line each on `out`. Each file is whole or absent, and
// gets a name of its own: a stem whose path leads to a file written earlier
// in the run takes the next "~N". A file that cannot be created or written
// is reported on its line and skipped; the directory is never created.
// Returns false if what was written could not all be put on the disk at the
// end. For a `terminal` the stems' control bytes are shown as "?".
bool extract_patches(std::FILE* out, const BankImage& image,
                     const std::string& destination, bool terminal = false);

#endif  // VORTRIM_OUTPUT_EXTRACT_H
