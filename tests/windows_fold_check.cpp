// Compares the committed fold with Windows' $UpCase table (the file given:
// 65536 little-endian 16-bit units) for every unit: windows_upcase, and
// windows_folded for each that UTF-8 can hold (all but the surrogates).

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "core/windows_fold.h"

namespace {

std::string utf8(char32_t c) {
  if (c < 0x80) return std::string(1, static_cast<char>(c));
  if (c < 0x800) return {static_cast<char>(0xC0 | c >> 6), static_cast<char>(0x80 | (c & 0x3F))};
  return {static_cast<char>(0xE0 | c >> 12), static_cast<char>(0x80 | (c >> 6 & 0x3F)),
          static_cast<char>(0x80 | (c & 0x3F))};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  std::ifstream in(argv[1], std::ios::binary);
  const std::string table{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (table.size() != 2 * 0x10000) {
    std::printf("%s: %zu bytes, not 65536 units\n", argv[1], table.size());
    return 1;
  }
  int wrong = 0;
  for (char32_t u = 0; u < 0x10000; ++u) {
    const char32_t upper = static_cast<unsigned char>(table[2 * u]) |
                           static_cast<unsigned char>(table[2 * u + 1]) << 8;
    const bool surrogate = u >= 0xD800 && u <= 0xDFFF;
    const char* what = nullptr;
    if (windows_upcase(u) != upper) {
      what = "windows_upcase";
    } else if (!surrogate && windows_folded(utf8(u)) != utf8(upper)) {
      what = "windows_folded";
    }
    if (what && ++wrong <= 20) {
      std::printf("U+%04X: Windows gives U+%04X, %s does not\n", static_cast<unsigned>(u),
                  static_cast<unsigned>(upper), what);
    }
  }
  if (wrong) std::printf("%d of 65536 units fold otherwise than Windows'\n", wrong);
  return wrong ? 1 : 0;
}
