// Writes the fuzzer's seed corpus into a directory: valid banks of several
// shapes, and one of each kind of damage the loader refuses; .syx files of
// patch dumps, and the tests' damaged ones.
//
//   make_seeds DIR

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/bank_builder.h"
#include "tests/tables.h"

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
  std::vector<std::pair<std::string, std::vector<unsigned char>>> files;
  for (const auto& [name, bank] : seeds) files.emplace_back(std::string(name) + ".kaa", build_bank(bank));
  std::vector<std::pair<int, std::vector<unsigned char>>> tones;
  std::vector<unsigned char> singles;
  for (const TestPatch& p : seeds[2].second.patches) {
    tones.emplace_back(p.slot, patch_bytes(p));
    const auto dump = one_single_bytes(2, 5, p.slot, tones.back().second);
    singles.insert(singles.end(), dump.begin(), dump.end());
  }
  std::sort(tones.begin(), tones.end());
  files.emplace_back("block.syx", block_bytes(0, 0, tones));
  files.emplace_back("singles.syx", singles);
  for (const DamagedSysEx& d : damaged_sysex()) {
    files.emplace_back(d.file.substr(d.file.rfind('/') + 1), d.bytes);
  }
  for (const auto& [name, bytes] : files) {
    const std::string path = std::string(argv[1]) + "/" + name;
    if (!write_bytes(path, bytes)) {
      std::printf("make_seeds: cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
