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

namespace {

std::vector<unsigned char> joined(std::initializer_list<std::vector<unsigned char>> parts) {
  std::vector<unsigned char> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

std::vector<unsigned char> single(int tone, const TestPatch& patch) {
  return one_single_bytes(0, 0, tone, patch_bytes(patch));
}

// Without its last byte.
std::vector<unsigned char> cut(std::vector<unsigned char> bytes, std::size_t by = 1) {
  bytes.resize(bytes.size() - by);
  return bytes;
}

const TestPatch kLead{.slot = 4, .name = "Lead", .sources = 2, .kits = "AP"};  // 1060 bytes

}  // namespace

const std::vector<DamagedSysEx>& damaged_sysex() {
  const std::vector<unsigned char> lead = patch_bytes(kLead);
  std::vector<unsigned char> high = single(4, kLead);
  high[100] = 0x9A;
  std::vector<unsigned char> bank_b = block_bytes(0, 0, {{4, lead}});
  bank_b[7] = 0x01;
  std::vector<unsigned char> big;
  for (int tone = 0; tone < 128; ++tone) {
    const auto dump = single(tone, {.slot = tone, .name = "Big", .sources = 6, .kits = "AAAAAA"});
    big.insert(big.end(), dump.begin(), dump.end());
  }
  static const std::vector<DamagedSysEx> files{
      {"no System Exclusive message", "SysEx/notes.syx", {'h', 'e', 'l', 'l', 'o'},
       "is not a SysEx file: it holds no System Exclusive message."},
      {"another maker's message", "SysEx/other.syx", {0xF0, 0x43, 0x10, 0x4C, 0x00, 0xF7},
       "holds no patch of the K5000 synthesizer: its messages are for other instruments."},
      {"a multi", "SysEx/multi.syx", {0xF0, 0x40, 0x00, 0x20, 0x00, 0x0A, 0x20, 0x00, 0x01, 0xF7},
       "holds no patch: its messages are the K5000 synthesizer's multis, not patches."},
      {"a drum kit", "SysEx/drums.syx", {0xF0, 0x40, 0x00, 0x20, 0x00, 0x0A, 0x10, 0x00, 0xF7},
       "holds no patch: its messages are the K5000 synthesizer's drum kits, not patches."},
      {"a request, and a dump of the PCM bank B", "SysEx/request.syx",
       joined({{0xF0, 0x40, 0x00, 0x00, 0x00, 0x0A, 0x00, 0x00, 0x04, 0xF7}, bank_b}),
       "holds no patch: its messages are the K5000 synthesizer's own, but none of them is a "
       "patch's dump."},
      {"a dump without its F7", "SysEx/open.syx", cut(single(4, kLead)),
       "is cut off: message 1 has no end."},
      {"cut off in its third message", "SysEx/cut.syx",
       cut(joined({single(1, kLead), single(2, kLead), single(3, kLead)}), 500),
       "is cut off: message 3 has no end.", 2},
      {"a message begun before the last ends", "SysEx/begun.syx",
       joined({cut(single(1, kLead)), single(2, kLead)}), "is cut off: message 1 has no end."},
      {"a byte that MIDI cannot carry", "SysEx/high.syx", high,
       "is damaged: message 1 holds the byte 0x9A, which MIDI cannot carry."},
      {"a patch a byte short", "SysEx/short.syx",
       joined({cut(single(4, kLead), 2), {0xF7}}),
       "is damaged: the patch for tone 5 is 1059 bytes long, and its sources make it 1060."},
      {"a patch too short to tell", "SysEx/stub.syx",
       {0xF0, 0x40, 0x00, 0x20, 0x00, 0x0A, 0x00, 0x00, 0x04, 0x01, 0x02, 0xF7},
       "is damaged: the patch for tone 5 is 2 bytes long, and too short for a patch."},
      {"a dump of no patch at all", "SysEx/none.syx",
       {0xF0, 0x40, 0x00, 0x20, 0x00, 0x0A, 0x00, 0x00, 0x02, 0xF7},
       "is damaged: the patch for tone 3 is 0 bytes long, and too short for a patch."},
      {"a block dump a byte short", "SysEx/block-short.syx",
       joined({cut(block_bytes(0, 0, {{4, lead}, {9, lead}}), 2), {0xF7}}),
       "is damaged: the patches of message 1 take 2119 bytes, and their sources make them 2120."},
      {"a block dump a byte too long", "SysEx/block-long.syx",
       joined({cut(block_bytes(0, 0, {{4, lead}})), {0x00, 0xF7}}),
       "is damaged: the patches of message 1 take 1061 bytes, and their sources make them 1060."},
      {"a patch of seven sources", "SysEx/seven.syx",
       single(6, {.slot = 6, .name = "Seven", .sources = 7}),
       "is damaged: patch 7 claims 7 sources, and a patch has at most 6."},
      {"more patches than patch memory holds", "SysEx/big.syx", big,
       "holds more than a bank: its patches take 695552 bytes, and the instrument's memory 131072."},
  };
  return files;
}
