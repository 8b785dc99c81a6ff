// File names: a patch's ".KA1" file, named after the patch, and a bank's
// folder, named after the bank. The program and the browser page name
// files through these alone, so that both name them alike.

#ifndef VORTRIM_CORE_NAMING_H
#define VORTRIM_CORE_NAMING_H

#include <cstddef>
#include <functional>
#include <set>
#include <string>

#include "core/bank_image.h"

// Whose file names a patch's file must pass, and in which text.
enum class NameRules {
  kPosix,    // a POSIX host: nothing refused by name; the name's bytes as they are
  kWindows,  // a Windows host: what Windows refuses is refused; the ANSI code page's text
  // The page's .zip or folder, unpacked anywhere: what Windows refuses is
  // renamed, so that no patch is left out; Windows-1252's text, in UTF-8.
  kPage,
};

// Whether `name` ends in `extension` (".KAA"), ASCII case ignored.
bool has_extension(const std::string& name, const char* extension);

// A patch name's 8-bit bytes as the program's text: the host's own (see
// os/host.h), or null for the bytes as they are.
using NameText = std::string (*)(const std::string& name);

// The names given so far in one run, or in one bank's .zip.
struct PatchNames {
  NameRules rules = NameRules::kPosix;
  NameText text = nullptr;  // for kPosix and kWindows
  // For the program, the disk's own answer: whether a file of this name in
  // the destination leads to one that this run wrote (whatever the file
  // system folds: case in any script, 8.3 aliases, links). None for a .zip.
  std::function<bool(const std::string& file)> taken;
  std::set<std::string> used;  // the stems given, ASCII case folded
};

// The -e value, with `separator` appended unless it already ends in one (an
// empty value gives the separator alone).
std::string destination_path(const std::string& value, char separator);

// A patch's file name, or why it can have none.
struct PatchFileName {
  std::string file;  // stem + ".KA1", in the rules' text
  // Null, or why no file can have that name (kCannotOpenPatchFile).
  const char* refused = nullptr;
  // NameRules::kPage: "", or why the name is not the patch's own
  // ("renamed: Windows does not allow ? in a name").
  std::string renamed;
};

// Names the next patch of a run, in memory order. The stem is the patch's
// name up to its first NUL as it stands, else without trailing spaces;
// either separator becomes "_", so that no name leaves the destination.
// A stem that an earlier file of the run took (ASCII case ignored, as on
// FAT disks where the files may be copied later; or `taken`) is cut short
// to make room for the lowest free "~N" within 8 characters. Windows
// refuses a device name (CON, PRN, AUX, NUL, COM0-9 and LPT0-9, also with
// a superscript 1-3, in any case, also before a dot or spaces: "nul.KA1"),
// ":" (an alternate data stream), < > " | ? * and control bytes; for the
// page each of those characters becomes "_" and a device name gets "_"
// after it, and names Windows would take for one (é and É) are told apart
// by "~N" too. POSIX hosts refuse nothing by name: what a file system
// refuses fails when the file is made.
PatchFileName patch_file_name(PatchNames& names, const PatchEntry& patch);

// The folder for a bank's patches, named after the bank file `bank_name`
// (its last path part): the name without its extension, or, where it has
// none (also ".KAA"), the name and "_", since beside the bank a folder
// cannot have the bank's own name.
std::string bank_folder_name(const std::string& bank_name);

// How much of an 8-byte patch name its file's stem keeps: up to its first
// NUL, if it has one, else without trailing spaces.
std::size_t stem_length(const char* name);

// The folders given so far in one .zip of many banks.
struct BankFolders {
  std::set<std::string> used;  // as Windows compares them
};

// A bank's folder in a collection, and why it is not the bank's own name
// ("" where it is).
struct BankFolderPath {
  std::string path;
  std::string renamed;
};

// The folder for the patches of the bank at `bank_path` (UTF-8, "/"
// between folders) in a collection: "Factory/DEMO.KAA" gives
// "Factory/DEMO". Each part is renamed as Windows needs, as a patch's name
// is for the page, and so is a dot or a space that ends it ("Bank .KAA"
// gives "Bank_"), and a path that Windows would take for one given before
// gets "~N" ("Factory/DEMO~2").
BankFolderPath bank_folder_path(BankFolders& folders, const std::string& bank_path);

// Text of 8-bit characters read as Windows-1252 (what a Western Windows
// makes of a patch name), in UTF-8.
std::string windows_1252_to_utf8(const std::string& text);

// A terminal acts on control bytes (0x00 to 0x1F, 0x7F) instead of showing
// them: an escape sequence in a patch name could recolour the text, retitle
// the window or hide lines, a line break split a listing line. For a
// terminal (and the page) each becomes "?" in `text`, as ls shows them.
void mask_control_bytes(char* text, std::size_t size);

#endif  // VORTRIM_CORE_NAMING_H
