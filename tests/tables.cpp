#include "tests/tables.h"

namespace {

const std::string kTooShort = "is not a K5000 bank: it is too short to be one.";
const std::string kOutside = "is not a K5000 bank: its table points outside patch memory.";
const std::string kPatchFile = " A .KA1 file holds one patch, not a bank.";
const TestPatch kOne{.slot = 0, .name = "One", .sources = 1, .kits = "P"};  // 168 bytes
constexpr std::uint32_t kTop = 0x20000 + kMemorySize;  // the end of a full memory

}  // namespace

const std::vector<DamagedBank>& damaged_banks() {
  static const std::vector<DamagedBank> banks{
      {"empty file", "empty.KAA", {.file_size = 0}, kTooShort},
      {"table without its last byte", "short.KAA", {.file_size = kHeaderSize - 1}, kTooShort},
      // The name as given, folder and all; a patch file is said to be one.
      {"in a folder", "Banks/Wave.KAA", {.file_size = 100}, kTooShort},
      {"a patch file", "Pad.ka1", {.file_size = 168}, kTooShort + kPatchFile},
      {"a long patch file, read as a table", "Lead.KA1",
       {.patches = {{.slot = 0, .name = "A"}}, .end = 1}, kOutside + kPatchFile},
      {"end below the base", "end.KAA", {.patches = {kOne}, .end = 0x1FFFF}, kOutside},
      {"end one past the memory", "end2.KAA", {.patches = {kOne}, .end = kTop + 1}, kOutside},
      {"name past the memory", "name.KAA",
       {.patches = {kOne, {.slot = 6, .name = "X", .pointer = kTop - 51}}, .end = kTop},
       kOutside},
      {"pointer at the last byte of the memory", "last.KAA",
       {.patches = {kOne, {.slot = 8, .name = "X", .pointer = kTop - 1}}, .end = kTop},
       kOutside},
      // end - base wraps around to a small number.
      {"end below the base near 2^32", "wrap.KAA",
       {.patches = {{.slot = 0, .name = "Top", .pointer = 0xFFFFFF00}},
        .base = 0xFFFFFF00,
        .end = 0x10},
       kOutside},
      {"size past the memory", "outside.KAA",
       {.patches = {kOne, {.slot = 2, .name = "Edge", .pointer = kTop - 52}}, .end = kTop},
       kOutside},
      {"too many sources", "sources.KAA",
       {.patches = {kOne, {.slot = 1, .name = "Seven", .sources = 7}}},
       "is damaged: patch 2 claims 7 sources, and a patch has at most 6."},
      {"the largest source count", "max.KAA",
       {.patches = {{.slot = 99, .name = "Max", .sources = 255}}},
       "is damaged: patch 100 claims 255 sources, and a patch has at most 6."},
      {"the last slot's patch", "slot128.KAA",
       {.patches = {{.slot = 127, .name = "A", .sources = 200}}},
       "is damaged: patch 128 claims 200 sources, and a patch has at most 6."},
      // The name and the count fit exactly; the count is what is wrong.
      {"seven sources in the memory's last byte", "edge.KAA",
       {.patches = {kOne, {.slot = 4, .name = "Edge", .sources = 7, .pointer = kTop - 52}},
        .end = kTop},
       "is damaged: patch 5 claims 7 sources, and a patch has at most 6."},
      {"faults are reported in memory order, not slot order", "order.KAA",
       {.patches = {{.slot = 0, .name = "Late", .sources = 9, .pointer = 0x30000},
                    {.slot = 1, .name = "Early", .sources = 8, .pointer = 0x20000}},
        .end = 0x30000},
       "is damaged: patch 2 claims 8 sources, and a patch has at most 6."},
      {"patch past the end of the file", "cut.KAA",
       {.patches = {kOne, {.slot = 3, .name = "Cut", .sources = 1}},
        .file_size = kHeaderSize + 168 + 167},
       "is cut off: patch 4 ends past the end of the file."},
      {"data area missing", "nodata.KAA",
       {.patches = {{.slot = 8, .name = "A", .pointer = 0x40000}},
        .base = 0x40000,
        .end = 0x40000,
        .file_size = kHeaderSize},
       "is cut off: patch 9 ends past the end of the file."},
  };
  return banks;
}

const std::vector<BankFolder>& bank_folders() {
  static const std::vector<BankFolder> folders{
      {"an extension", "DEMO.KAA", "DEMO"},
      {"a space, in lower case", "My Bank.kaa", "My Bank"},
      {"two dots: only the last ends the name", "a.b.KAA", "a.b"},
      // Beside the bank, a folder cannot take the bank's own name.
      {"an extension alone", ".KAA", ".KAA_"},
      {"no extension", "NOEXT", "NOEXT_"},
  };
  return folders;
}
