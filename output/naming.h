// Patch file names: from a patch's 8-byte name to the stem of its ".KA1"
// file, and the stems a host will not store as a plain file of that name.
// Pure functions of their arguments: the program and the browser page
// name files alike.

#ifndef VORTRIM_OUTPUT_NAMING_H
#define VORTRIM_OUTPUT_NAMING_H

#include <functional>
#include <set>
#include <string>

// Whose file names a stem must pass: the page gives Windows' rules on any
// host, since its .zip may be unpacked anywhere.
enum class NameRules { kPosix, kWindows };

#ifdef _WIN32
inline constexpr NameRules kHostNameRules = NameRules::kWindows;
#else
inline constexpr NameRules kHostNameRules = NameRules::kPosix;
#endif

// What a patch's progress line says when its file cannot be made.
inline constexpr char kCannotOpenMessage[] =
    "Cannot open KA1 file! (Patch name may be incompatible.)";

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

// True for a stem that a host with `rules` would not store as the plain
// file stem + ".KA1". Windows refuses a device name (CON, PRN, AUX, NUL,
// COM0-9, LPT0-9 and COM or LPT with a superscript 1-3, any case, also
// before a dot or spaces: "nul.KA1"), ":" (an alternate data stream),
// < > " | ? * and control bytes. POSIX hosts refuse nothing here: what a
// file system itself refuses fails when the file is made.
bool stem_refused(const std::string& stem, NameRules rules);

// Text of 8-bit characters read as Windows-1252 (what a Western Windows
// makes of a patch name), in UTF-8.
std::string windows_1252_to_utf8(const std::string& text);

#endif  // VORTRIM_OUTPUT_NAMING_H
