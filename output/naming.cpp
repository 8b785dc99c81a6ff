#include "output/naming.h"

#include <cstdint>

#include "output/host_text.h"

namespace {

char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }

std::string ascii_lower(std::string s) {
  for (char& c : s) c = ascii_lower(c);
  return s;
}

bool is_windows_device_or_stream(const std::string& stem) {
  if (stem.find(':') != std::string::npos) return true;
  // Windows looks for a device name in the part before the first dot, with
  // trailing spaces dropped: "nul.KA1" and "NUL .a" are the device too.
  std::string base = ascii_lower(stem.substr(0, stem.find('.')));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  if (base == "con" || base == "prn" || base == "aux" || base == "nul") {
    return true;
  }
  if (base.size() != 4 || (base.compare(0, 3, "com") != 0 && base.compare(0, 3, "lpt") != 0)) {
    return false;
  }
  // Digits, and the superscripts one to three of the ANSI code page.
  const unsigned char n = static_cast<unsigned char>(base[3]);
  return (n >= '0' && n <= '9') || n == 0xB9 || n == 0xB2 || n == 0xB3;
}

// Characters that no Windows file name may hold (the separators never
// reach a stem).
bool is_windows_forbidden(unsigned char c) {
  return c < 0x20 || c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*';
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
  if (rules == NameRules::kPosix) return false;
  for (const char c : stem) {
    if (is_windows_forbidden(static_cast<unsigned char>(c))) return true;
  }
  return is_windows_device_or_stream(stem);
}

// The file name of `stem` in the rules' text.
std::string file_name(const std::string& stem, NameRules rules) {
  return (rules == NameRules::kPage ? windows_1252_to_utf8(stem) : host_text(stem)) +
         kPatchFileExtension;
}

}  // namespace

PatchFileName patch_file_name(PatchNames& names, const PatchEntry& patch) {
  const std::string stem = make_stem(patch.name.data());
  std::string candidate = stem;
  for (int n = 2; names.used.count(ascii_lower(candidate)) > 0 ||
                  (names.taken && names.taken(file_name(candidate, names.rules)));
       ++n) {
    // No longer than a patch name, as the instrument's floppy drive reads
    // names. Appended rather than "~" + ..., which trips a false -Wrestrict
    // in g++ 12.
    std::string suffix(1, '~');
    suffix += std::to_string(n);
    candidate = stem.substr(0, kNameLength - suffix.size()) + suffix;
  }
  names.used.insert(ascii_lower(candidate));
  return {file_name(candidate, names.rules),
          stem_refused(candidate, names.rules) ? kCannotOpenMessage : nullptr};
}

std::string bank_folder_name(const std::string& bank_name) {
  const std::size_t dot = bank_name.rfind('.');
  if (dot == 0 || dot == std::string::npos) return bank_name + "_";
  return bank_name.substr(0, dot);
}

void mask_control_bytes(char* text, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7F) text[i] = '?';
  }
}

std::string windows_1252_to_utf8(const std::string& text) {
  std::string utf8;
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
