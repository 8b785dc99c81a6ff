#include "core/naming.h"

#include <algorithm>
#include <cstdint>

#include "core/messages.h"

namespace {

char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }

// A letter as Windows folds it to compare names, for the letters of
// Windows-1252 (é and É are one, as A and a are); other bytes as they are.
char windows_1252_lower(char c) {
  const auto u = static_cast<unsigned char>(c);
  if ((u >= 0xC0 && u <= 0xDE && u != 0xD7) || (u >= 'A' && u <= 'Z')) return static_cast<char>(u + 0x20);
  if (u == 0x8A || u == 0x8C || u == 0x8E) return static_cast<char>(u + 0x10);  // Š Œ Ž
  if (u == 0x9F) return static_cast<char>(0xFF);                                // Ÿ
  return c;
}

// A name as the rules compare names: the program's with ASCII case folded
// (as on FAT disks, where the files may be copied later; the disk itself
// is asked for the rest), a .zip's as Windows folds the letters it may hold.
std::string ascii_folded(std::string s) {
  for (char& c : s) c = ascii_lower(c);
  return s;
}

std::string windows_1252_folded(std::string s) {
  for (char& c : s) c = windows_1252_lower(c);
  return s;
}

// UTF-8 text as Windows compares names, for the letters a bank's or a
// folder's name most likely holds: ASCII, and Latin-1's (é and É are one).
std::string folded_utf8(std::string s) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    const auto u = static_cast<unsigned char>(s[i]);
    if (u >= 'A' && u <= 'Z') s[i] = static_cast<char>(u + 0x20);
    if (u == 0xC3 && i + 1 < s.size()) {
      const auto next = static_cast<unsigned char>(s[i + 1]);
      if (next >= 0x80 && next <= 0x9E && next != 0x97) s[++i] = static_cast<char>(next + 0x20);
    }
  }
  return s;
}

// Where a device name ends in `stem`, or 0 where it holds none. Windows
// looks for one in the part before the first dot, with trailing spaces
// dropped: "nul.KA1" and "NUL .a" are the device too.
std::size_t device_name_end(const std::string& stem) {
  std::size_t end = std::min(stem.find('.'), stem.size());
  while (end > 0 && stem[end - 1] == ' ') --end;
  if (end != 3 && end != 4) return 0;  // no device name is longer or shorter
  const std::string base = ascii_folded(stem.substr(0, end));
  if (base == "con" || base == "prn" || base == "aux" || base == "nul") return end;
  if (base.size() != 4 || (base.compare(0, 3, "com") != 0 && base.compare(0, 3, "lpt") != 0)) {
    return 0;
  }
  // Digits, and the superscripts one to three of the ANSI code page.
  const unsigned char n = static_cast<unsigned char>(base[3]);
  return (n >= '0' && n <= '9') || n == 0xB9 || n == 0xB2 || n == 0xB3 ? end : 0;
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
  std::string stem(name, name_length(name));
  // Only a full 8-byte name is space padded.
  if (stem.size() == kNameLength) {
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  }
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
  return device_name_end(stem) > 0;
}

// Renames `stem` to a name that Windows stores as it is: each character it
// forbids becomes "_", and a device name gets "_" after its base ("COM1"
// gives "COM1_", "lpt1.x" gives "lpt1_.x"). Returns why, in the stem's own
// text, or "" where the stem needed no renaming.
std::string rename_for_windows(std::string& stem) {
  std::string forbidden;  // each one met, as shown
  bool control = false;
  for (char& c : stem) {
    const auto u = static_cast<unsigned char>(c);
    if (!is_windows_forbidden(u)) continue;
    if (u < 0x20) {
      control = true;
    } else if (forbidden.find(c) == std::string::npos) {
      forbidden += c;
    }
    c = '_';
  }
  const std::size_t end = device_name_end(stem);
  const std::string device = stem.substr(0, end);
  if (end > 0) stem.insert(end, 1, '_');
  return renamed_for_windows_reason(forbidden, control, false, device);
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

std::string destination_path(const std::string& value, char separator) {
  if (value.empty() || value.back() != separator) return value + separator;
  return value;
}

PatchFileName patch_file_name(PatchNames& names, const PatchEntry& patch) {
  std::string stem = make_stem(patch.name.data());
  PatchFileName name;
  if (names.rules == NameRules::kPage) name.renamed = windows_1252_to_utf8(rename_for_windows(stem));
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

std::string bank_folder_path(BankFolders& folders, const std::string& bank_path) {
  std::string path;
  std::size_t start = 0;
  for (std::size_t slash; (slash = bank_path.find('/', start)) != std::string::npos;
       start = slash + 1) {
    std::string folder = bank_path.substr(start, slash - start);
    rename_for_windows(folder);
    path += folder + "/";
  }
  std::string last = bank_folder_name(bank_path.substr(start));
  rename_for_windows(last);
  // The whole path compared as Windows compares names: "Factory/DEMO" and
  // "factory/demo" would meet there. A folder's name is not cut.
  return unique_name(path + last, folders.used, folded_utf8, std::string::npos);
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
    const std::uint32_t u = c >= 0x80 && c < 0xA0 ? kHigh1252[c - 0x80] : c;
    if (u < 0x80) {
      utf8 += static_cast<char>(u);
    } else if (u < 0x800) {
      utf8 += static_cast<char>(0xC0 | (u >> 6));
      utf8 += static_cast<char>(0x80 | (u & 0x3F));
    } else {
      utf8 += static_cast<char>(0xE0 | (u >> 12));
      utf8 += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
      utf8 += static_cast<char>(0x80 | (u & 0x3F));
    }
  }
  return utf8;
}
