// Writes the fuzzer's seed corpus into a directory: valid banks of several
// shapes, and one of each kind of damage the loader refuses.
//
//   make_seeds DIR

#include <cstdio>
#include <string>
#include <vector>

#include "tests/bank_builder.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::printf("usage: make_seeds DIR\n");
    return 2;
  }
  std::vector<TestPatch> full;
  for (int s = 0; s < 128; ++s) {
    full.push_back({.slot = 127 - s, .name = "Full" + std::to_string(s % 7), .sources = s % 7,
                    .kits = std::string("APAAPA").substr(0, static_cast<std::size_t>(s % 7))});
  }
  const TestPatch one{.slot = 0, .name = "One", .sources = 1, .kits = "A"};
  const std::vector<std::pair<const char*, TestBank>> seeds{
      {"empty", {}},
      {"one", {.patches = {one}}},
      {"mixed", {.patches = {{.slot = 5, .name = "Pad/Str ", .sources = 2, .kits = "APAA"},
                             {.slot = 2, .name = "Init", .sources = 0, .kits = "AAAAAA"},
                             {.slot = 9, .name = "init", .sources = 6, .kits = "AAAAAA"},
                             {.slot = 1, .name = std::string("A\0B", 3), .sources = 3},
                             {.slot = 3, .name = "        ", .sources = 1}}}},
      {"full", {.patches = full}},
      {"twins", {.patches = {{.slot = 1, .name = "T", .pointer = 0x900},
                             {.slot = 0, .name = "T", .pointer = 0x900}},
                 .end = 0x900 + 82}},
      {"short", {.patches = {one}, .file_size = 3000}},
      {"end_low", {.patches = {one}, .end = 1}},
      {"end_high", {.patches = {one}, .end = 0x20000 + 131073}},
      {"outside", {.patches = {one, {.slot = 1, .name = "X", .pointer = 0x20000 + 131030}},
                   .end = 0x20000 + 131072}},
      {"sources", {.patches = {{.slot = 0, .name = "S", .sources = 7}}}},
      {"truncated", {.patches = {one}, .file_size = kHeaderSize + 100}},
  };
  for (const auto& [name, bank] : seeds) {
    const std::string path = std::string(argv[1]) + "/" + name + ".kaa";
    if (!write_bytes(path, build_bank(bank))) {
      std::printf("make_seeds: cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
