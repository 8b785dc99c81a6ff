// Writes a collection of banks for the page's benchmark: COUNT full banks
// of 128 patches each, every bank's patches named after it (so that the
// collection holds 128 x COUNT distinct patches), but every tenth bank a
// copy of the first, as collections hold copies. With "syx", each as the
// block dump of its patches instead.
//
//   make_collection FOLDER COUNT [syx]

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/bank_builder.h"

int main(int argc, char** argv) {
  if (argc != 3 && !(argc == 4 && std::string(argv[3]) == "syx")) {
    std::printf("usage: make_collection FOLDER COUNT [syx]\n");
    return 2;
  }
  const int count = std::atoi(argv[2]);
  const bool sysex = argc == 4;
  for (int b = 0; b < count; ++b) {
    const int named = b % 10 == 9 ? 0 : b;
    TestBank bank;
    for (int s = 0; s < 128; ++s) {
      char name[16];
      std::snprintf(name, sizeof name, "%04dS%03d", named, s + 1);
      bank.patches.push_back({.slot = s, .name = name, .sources = 1 + s % 2, .kits = "A"});
    }
    std::vector<std::pair<int, std::vector<unsigned char>>> tones;
    for (const TestPatch& p : bank.patches) tones.emplace_back(p.slot, patch_bytes(p));
    char file[32];
    std::snprintf(file, sizeof file, "/BANK%04d.%s", b, sysex ? "syx" : "KAA");
    if (!write_bytes(argv[1] + std::string(file), sysex ? block_bytes(0, 0, tones) : build_bank(bank))) {
      std::printf("make_collection: cannot write into %s\n", argv[1]);
      return 1;
    }
  }
  return 0;
}
