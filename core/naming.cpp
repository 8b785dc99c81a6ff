#include "core/naming.h"

#include <algorithm>
#include <cstdint>

#include "core/messages.h"
#include "core/windows_fold.h"

namespace {

char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }

// A name as the rules compare names: the program's with ASCII case folded
// (as on FAT disks, where the files may be copied later; the disk itself
// is asked for the rest), the page's as Windows folds them.
std::string ascii_folded(std::string s) {
  for (char& c : s) c = ascii_lower(c);
  return s;
}

std::string windows_1252_folded(std::string s) { return windows_folded(windows_1252_to_utf8(s)); }

std::string utf8_folded(std::string s) { return windows_folded(s); }

// The text of a name being renamed for Windows: a patch's stem (Windows-1252,
// before ".KA1") or a whole folder name (UTF-8).
enum class NamePart { kStem, kFolder };

// Where a device name ends in `name`, or 0 where it holds none. Windows
// looks for one in the part before the first dot, with trailing spaces
// dropped: "nul.KA1" and "NUL .a" are the device too.
std::size_t device_name_end(const std::string& name, NamePart part) {
  std::size_t end = std::min(name.find('.'), name.size());
  while (end > 0 && name[end - 1] == ' ') --end;
  const std::string base = ascii_folded(name.substr(0, end));
  if (base == "con" || base == "prn" || base == "aux" || base == "nul") return end;
  if (base.size() < 4 || (base.compare(0, 3, "com") != 0 && base.compare(0, 3, "lpt") != 0)) {
    return 0;
  }
  // A digit, or a superscript one to three, in the name's own text.
  const std::string n = base.substr(3);
  const char* const superscripts[2][3] = {{"\xB9", "\xB2", "\xB3"},
                                          {"\xC2\xB9", "\xC2\xB2", "\xC2\xB3"}};
  const auto& ours = superscripts[part == NamePart::kFolder ? 1 : 0];
  return (n.size() == 1 && n[0] >= '0' && n[0] <= '9') ||
                 std::find(std::begin(ours), std::end(ours), n) != std::end(ours)
             ? end
             : 0;
}

// Characters that no Windows file name may hold (the separators never
// reach a stem); ":" would name an alternate data stream.
bool is_windows_forbidden(unsigned char c) {
  return c < 0x20 || c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*' ||
         c == ':';
}

// Windows-1252's 0x80 to 0x9F; the five bytes it leaves undefined keep their
// own code points, as Windows converts them.
constexpr std::uint16_t kHigh1252[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// The file stem for a patch name (8 bytes and a NUL): up to the first NUL
// as it stands, else without trailing spaces; separators become "_".
std::string make_stem(const char* name) {
  std::string stem(name, stem_length(name));
  for (char& c : stem) {
    if (c == '/' || c == '\\') c = '_';
  }
  return stem;
}

// True for a stem that a host with `rules` would not store as the plain
// file stem + ".KA1".
bool stem_refused(const std::string& stem, NameRules rules) {
  if (rules != NameRules::kWindows) return false;
  for (const char c : stem) {
    if (is_windows_forbidden(static_cast<unsigned char>(c))) return true;
  }
  return device_name_end(stem, NamePart::kStem) > 0;
}

// Renames `name` to one that Windows stores as it is: each character it
// forbids becomes "_", and so does each dot or space that ends a folder's
// name (Windows drops them: "Bank " and "Bank" would be one folder), and a
// device name gets "_" after its base ("COM1" gives "COM1_", "lpt1.x" gives
// "lpt1_.x"). Returns why, in the name's own text, or "" where the name
// needed no renaming.
std::string rename_for_windows(std::string& name, NamePart part) {
  std::string forbidden;  // each one met, as shown
  bool control = false;
  for (char& c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (!is_windows_forbidden(u)) continue;
    if (u < 0x20) {
      control = true;
    } else if (forbidden.find(c) == std::string::npos) {
      forbidden += c;
    }
    c = '_';
  }
  bool trailing = false;
  for (std::size_t i = name.size(); part == NamePart::kFolder && i > 0; --i) {
    if (name[i - 1] != '.' && name[i - 1] != ' ') break;
    name[i - 1] = '_';
    trailing = true;
  }
  // A folder with no name at all comes only from a path with "//" in it.
  if (part == NamePart::kFolder && name.empty()) name = "_";
  const std::size_t end = device_name_end(name, part);
  const std::string device = name.substr(0, end);
  if (end > 0) name.insert(end, 1, '_');
  return renamed_for_windows_reason(forbidden, control, trailing, device);
}

// The file name of `stem` in the rules' text.
std::string file_name(const std::string& stem, const PatchNames& names) {
  const std::string text = names.rules == NameRules::kPage ? windows_1252_to_utf8(stem)
                           : names.text != nullptr         ? names.text(stem)
                                                           : stem;
  return text + kPatchFileExtension;
}

// `name` itself, or with "~N" for the lowest N that makes it free, the
// name cut to keep within `limit` characters. A name is free if `used`
// holds none that is the same once folded by `fold`, and `taken`, if given,
// does not say it is taken.
std::string unique_name(const std::string& name, std::set<std::string>& used,
                        std::string (*fold)(std::string), std::size_t limit,
                        const std::function<bool(const std::string&)>& taken = {}) {
  std::string candidate = name;
  for (int n = 2; used.count(fold(candidate)) > 0 || (taken && taken(candidate)); ++n) {
    // Appended rather than "~" + ..., which trips a false -Wrestrict in g++ 12.
    std::string suffix(1, '~');
    suffix += std::to_string(n);
    candidate = name.substr(0, limit - std::min(limit, suffix.size())) + suffix;
  }
  used.insert(fold(candidate));
  return candidate;
}

}  // namespace

bool has_extension(const std::string& name, const char* extension) {
  const std::string wanted = ascii_folded(extension);
  return name.size() >= wanted.size() &&
         ascii_folded(name.substr(name.size() - wanted.size())) == wanted;
}

std::size_t stem_length(const char* name) {
  std::size_t length = name_length(name);
  // Only a full 8-byte name is space padded.
  if (length == kNameLength) {
    while (length > 0 && name[length - 1] == ' ') --length;
  }
  return length;
}

std::string destination_path(const std::string& value, char separator) {
  if (value.empty() || value.back() != separator) return value + separator;
  return value;
}

PatchFileName patch_file_name(PatchNames& names, const PatchEntry& patch) {
  std::string stem = make_stem(patch.name.data());
  PatchFileName name;
  if (names.rules == NameRules::kPage) {
    name.renamed = windows_1252_to_utf8(rename_for_windows(stem, NamePart::kStem));
  }
  // No longer than a patch name, as the instrument's floppy drive reads
  // names; a renamed one keeps its whole name before a "~N".
  const std::size_t limit = std::max(stem.size(), kNameLength);
  const auto taken = [&](const std::string& candidate) {
    return names.taken && names.taken(file_name(candidate, names));
  };
  stem = unique_name(stem, names.used,
                     names.rules == NameRules::kPage ? windows_1252_folded : ascii_folded, limit,
                     taken);
  name.file = file_name(stem, names);
  if (stem_refused(stem, names.rules)) name.refused = kCannotOpenPatchFile;
  return name;
}

std::string bank_folder_name(const std::string& bank_name) {
  const std::size_t dot = bank_name.rfind('.');
  if (dot == 0 || dot == std::string::npos) return bank_name + "_";
  return bank_name.substr(0, dot);
}

BankFolderPath bank_folder_path(BankFolders& folders, const std::string& bank_path) {
  BankFolderPath folder;
  std::size_t start = 0;
  // Each folder on the way, then the bank's own, renamed as Windows needs;
  // a reason is said once.
  for (std::size_t end = 0; end != std::string::npos; start = end + 1) {
    end = bank_path.find('/', start);
    std::string part = end == std::string::npos ? bank_folder_name(bank_path.substr(start))
                                                : bank_path.substr(start, end - start);
    const std::string why = rename_for_windows(part, NamePart::kFolder);
    if (folder.renamed.empty()) folder.renamed = why;
    folder.path += part + (end == std::string::npos ? "" : "/");
  }
  // The whole path compared as Windows compares names: "Factory/DEMO" and
  // "factory/demo" would meet there. A folder's name is not cut.
  folder.path = unique_name(folder.path, folders.used, utf8_folded, std::string::npos);
  return folder;
}

void mask_control_bytes(char* text, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7F) text[i] = '?';
  }
}

std::string windows_1252_to_utf8(const std::string& text) {
  // Most text is ASCII, the same in both.
  if (std::all_of(text.begin(), text.end(), [](char c) { return (c & 0x80) == 0; })) return text;
  std::string utf8;
  utf8.reserve(text.size() * 3);
  for (const char byte : text) {
    const auto c = static_cast<unsigned char>(byte);
    append_utf8(utf8, c >= 0x80 && c < 0xA0 ? kHigh1252[c - 0x80] : c);
  }
  return utf8;
}
