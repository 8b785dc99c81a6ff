// Writes the banks that the browser page's tests drop on the page (and the
// installer's tests open from Explorer's menu), and the bytes of each of
// their patches as the bank builder made them (BANK.SLOT.bin, slot counted
// from 1), which the .zip entries and the files written must equal; the
// damaged banks of the shared table, with refusals.tsv: a line each, its
// file, a tab and the words that follow its name in the refusal; a
// collection of them in folders (Collection/) with files that are no
// banks, one of copies (Copies/) and one of folders named beyond ASCII
// (Letters/); .syx files, good (with the builder's bytes of their patches
// likewise) and damaged (with sysex-refusals.tsv: a line each, its file,
// the words of its refusal and how many whole patches it offers), in
// SysEx/; the dumps the page's SysEx saves must give, in dumps/; and
// huge.KAA, 2 GiB of nothing but a hole, where the disk allows.
//
//   page_banks FOLDER

#include <algorithm>
#include <cstdio>
#include <map>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/bank_builder.h"
#include "tests/tables.h"

namespace {

struct NamedBank {
  const char* file;
  TestBank bank;
};

std::vector<NamedBank> banks() {
  TestBank full;
  for (int slot = 0; slot < 128; ++slot) {
    char name[16];
    std::snprintf(name, sizeof name, "Full%03d", slot + 1);
    // 1 to 3 sources, some with a kit: 128 patches that fit in memory.
    const int sources = 1 + slot % 3;
    full.patches.push_back({.slot = slot, .name = name, .sources = sources,
                            .kits = slot % 4 == 0 ? "A" : "P"});
  }
  return {
      {"full.KAA", full},
      {"names.KAA",
       {.patches = {{.slot = 0, .name = "Bass/Sub", .sources = 1, .kits = "P"},
                    {.slot = 1, .name = "Init", .sources = 1, .kits = "P"},
                    {.slot = 2, .name = "init", .sources = 2, .kits = "AP"},
                    {.slot = 3, .name = "COM1", .sources = 1, .kits = "P"},
                    {.slot = 4, .name = "Vox?", .sources = 1, .kits = "P"},
                    {.slot = 5, .name = "Caf\xE9 \x80", .sources = 1, .kits = "A"},
                    {.slot = 6, .name = "Tab\tx", .sources = 1, .kits = "P"},
                    {.slot = 7, .name = "Strings1", .sources = 1, .kits = "P"},
                    {.slot = 8, .name = "Strings1", .sources = 1, .kits = "P"}}}},
      // Names that Windows takes for one, or refuses.
      {"accents.KAA",
       {.patches = {{.slot = 0, .name = "Ch\xE9ur", .sources = 1, .kits = "P"},
                    {.slot = 1, .name = "CH\xC9UR", .sources = 2, .kits = "AP"},
                    {.slot = 2, .name = "lpt1.x", .sources = 1, .kits = "P"},
                    {.slot = 3, .name = "A:B", .sources = 1, .kits = "A"}}}},
      // Letters beyond ASCII, in Windows-1252: é, Š and €.
      {"letters.KAA",
       {.patches = {{.slot = 0, .name = "Caf\xE9", .sources = 1, .kits = "P"},
                    {.slot = 1, .name = "\x8Akoda", .sources = 1, .kits = "A"},
                    {.slot = 2, .name = "\x80uro", .sources = 2, .kits = "PP"}}}},
      // One patch of names.KAA (Bass/Sub) and one of its own.
      {"mix.KAA",
       {.patches = {{.slot = 0, .name = "Bass/Sub", .sources = 1, .kits = "P"},
                    {.slot = 1, .name = "Solo", .sources = 3, .kits = "PAP"}}}},
      // What the checks find, and a patch they pass.
      {"checks.KAA",
       {.patches = {{.slot = 0, .name = "Sum", .sources = 1, .kits = "P", .spoil = Spoil::kChecksum},
                    {.slot = 1, .name = "Kit", .sources = 2, .kits = "AA", .spoil = Spoil::kKitChecksum},
                    {.slot = 2, .name = "Caf\xE9", .sources = 1, .kits = "P"},
                    {.slot = 3, .name = "Wave", .sources = 2, .kits = "PA", .spoil = Spoil::kWaveKit},
                    {.slot = 4, .name = "Fine", .sources = 3, .kits = "APP"}}}},
      // Cut off by an unfinished copy in its fourteenth patch.
      {"TRUNC.KAA", [] {
         TestBank bank{.file_size = kHeaderSize + 13 * 168 + 100};
         for (int slot = 0; slot < 20; ++slot) {
           bank.patches.push_back({.slot = slot, .name = "Whole" + std::to_string(slot + 1), .sources = 1,
                                   .kits = "P"});
         }
         return bank;
       }()},
  };
}

// A .syx file of the patches of `bank` at their slots' tones: one block
// dump, or one-single dumps with messages that are no patch between them.
struct NamedSysEx {
  const char* file;
  std::vector<TestPatch> patches;
  bool block;
};

std::vector<NamedSysEx> sysex_files() {
  return {
      // Where tone maps go wrong, of every shape.
      {"SysEx/edges.syx",
       {{.slot = 0, .name = "Zero", .sources = 1, .kits = "A"},
        {.slot = 6, .name = "Six", .sources = 2, .kits = "PA"},
        {.slot = 7, .name = "Seven", .sources = 3, .kits = "PPP"},
        {.slot = 125, .name = "Late", .sources = 6, .kits = "AAAAAA"},
        {.slot = 126, .name = "Later", .sources = 0},
        {.slot = 127, .name = "Last", .sources = 4, .kits = "APAP"}},
       true},
      // Tone 6 twice: the later, Again, is read.
      {"SysEx/singles.syx",
       {{.slot = 2, .name = "Pad", .sources = 1, .kits = "P"},
        {.slot = 5, .name = "First", .sources = 1, .kits = "P"},
        {.slot = 5, .name = "Again", .sources = 2, .kits = "AP"}},
       false},
  };
}

std::vector<unsigned char> sysex_bytes(const NamedSysEx& f) {
  std::vector<std::pair<int, std::vector<unsigned char>>> tones;
  for (const TestPatch& p : f.patches) tones.emplace_back(p.slot, patch_bytes(p));
  if (f.block) return block_bytes(0, 0, tones);
  std::vector<unsigned char> file = {0xF0, 0x43, 0x10, 0x4C, 0x00, 0xF7};  // another maker's
  for (const auto& [tone, bytes] : tones) {
    const std::vector<unsigned char> dump = one_single_bytes(3, 6, tone, bytes);
    file.insert(file.end(), dump.begin(), dump.end());
  }
  const std::vector<unsigned char> multi = {0xF0, 0x40, 0x00, 0x20, 0x00, 0x0A, 0x20, 0x00, 0xF7};
  file.insert(file.end(), multi.begin(), multi.end());
  return file;
}

// The block dump of the patches of a bank that a dump may carry.
std::vector<unsigned char> dumpable_block(const TestBank& bank, int to, int channel) {
  std::vector<std::pair<int, std::vector<unsigned char>>> tones;
  for (const TestPatch& p : bank.patches) {
    const bool midi = std::all_of(p.name.begin(), p.name.end(), [](char c) { return (c & 0x80) == 0; });
    if (midi && p.spoil != Spoil::kWaveKit) tones.emplace_back(p.slot, patch_bytes(p));
  }
  return block_bytes(to, channel, tones);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::printf("usage: page_banks FOLDER\n");
    return 2;
  }
  const std::string folder = std::string(argv[1]) + "/";
  std::filesystem::create_directories(folder + "SysEx");
  for (const NamedBank& b : banks()) {
    bool ok = write_bytes(folder + b.file, build_bank(b.bank));
    for (const TestPatch& p : b.bank.patches) {
      ok = ok && write_bytes(folder + b.file + "." + std::to_string(p.slot + 1) + ".bin",
                             patch_bytes(p));
    }
    if (!ok) {
      std::printf("page_banks: cannot write into %s\n", argv[1]);
      return 1;
    }
  }
  // The dumps the page's SysEx saves must give, as the rows save them: a
  // patch of full.KAA to bank D, tone 100, channel 16; checks.KAA to bank
  // A, channel 1; the collection's banks to bank E, channel 3.
  std::map<std::string, TestBank> by_file;
  for (const NamedBank& b : banks()) by_file[b.file] = b.bank;
  const std::vector<std::pair<std::string, std::vector<unsigned char>>> dumps{
      {"dumps/full.5.syx", one_single_bytes(2, 15, 99, patch_bytes(by_file["full.KAA"].patches[4]))},
      {"dumps/checks.syx", dumpable_block(by_file["checks.KAA"], 0, 0)},
      {"dumps/names.syx", dumpable_block(by_file["names.KAA"], 3, 2)},
      {"dumps/accents.syx", dumpable_block(by_file["accents.KAA"], 3, 2)}};
  for (const NamedSysEx& f : sysex_files()) {
    bool ok = write_bytes(folder + f.file, sysex_bytes(f));
    // Beside the folder of .syx files, not in it.
    const std::string name = std::filesystem::path(f.file).filename().string();
    for (const TestPatch& p : f.patches) {
      ok = ok && write_bytes(folder + name + "." + std::to_string(p.slot + 1) + ".bin", patch_bytes(p));
    }
    if (!ok) return 1;
  }
  std::string sysex_refusals;
  for (const DamagedSysEx& d : damaged_sysex()) {
    if (!write_bytes(folder + d.file, d.bytes)) return 1;
    sysex_refusals += d.file + "\t" + d.words + "\t" + std::to_string(d.rescued) + "\n";
  }
  if (!write_bytes(folder + "sysex-refusals.tsv", {sysex_refusals.begin(), sysex_refusals.end()})) {
    return 1;
  }
  std::filesystem::create_directories(folder + "dumps");
  for (const auto& [file, bytes] : dumps) {
    if (!write_bytes(folder + file, bytes)) return 1;
  }
  // Some other file given a bank's name: every byte 'A', so every pointer
  // is 0x41414141 and the first patch claims 65 sources.
  if (!write_bytes(folder + "notabank.KAA", std::vector<unsigned char>(200000, 'A'))) return 1;
  std::string refusals;
  for (const DamagedBank& b : damaged_banks()) {
    std::filesystem::create_directories(std::filesystem::path(folder + b.file).parent_path());
    if (!write_bytes(folder + b.file, build_bank(b.bank))) return 1;
    refusals += b.file + "\t" + b.words + "\n";
  }
  if (!write_bytes(folder + "refusals.tsv", {refusals.begin(), refusals.end()})) return 1;
  // Two banks of one name in two folders, two in one folder that Windows
  // takes for one name, a bank that is refused, and what else a folder of
  // banks holds.
  const std::vector<std::pair<std::string, std::string>> collection{
      {"Collection/Factory/names.KAA", "names.KAA"},
      {"Collection/Live 2003/names.KAA", "names.KAA"},
      {"Collection/Live 2003/NAMES.kaa", "accents.KAA"},
      {"Collection/Broken/short.KAA", "short.KAA"},
      {"Collection/notes.txt", "Pad.ka1"},
      {"Collection/Live 2003/take1.wav", "notabank.KAA"},
      // Four copies of one bank, and a bank that shares one patch with them.
      {"Copies/Factory/names.KAA", "names.KAA"},
      {"Copies/Live/names.KAA", "names.KAA"},
      {"Copies/Backup 2019/names.KAA", "names.KAA"},
      {"Copies/Old/NAMES.KAA", "names.KAA"},
      {"Copies/Live/mix.KAA", "mix.KAA"},
      // A folder that comes before the others.
      {"Archive/mix.KAA", "mix.KAA"},
      // Folder names in Greek and with Š, a pair of each that Windows takes
      // for one, and a bank whose name ends in a space, which Windows drops.
      {"Letters/\xCE\x95\xCE\xBB\xCE\xBB\xCE\xB7\xCE\xBD\xCE\xB9\xCE\xBA\xCE\xAC/Bank.KAA",
       "letters.KAA"},
      {"Letters/\xCE\x95\xCE\x9B\xCE\x9B\xCE\x97\xCE\x9D\xCE\x99\xCE\x9A\xCE\x86/bank.KAA",
       "letters.KAA"},
      {"Letters/\xCE\x95\xCE\xBB\xCE\xBB\xCE\xB7\xCE\xBD\xCE\xB9\xCE\xBA\xCE\xAC/Bank .KAA",
       "mix.KAA"},
      {"Letters/\xC5\xA0koda/A.KAA", "letters.KAA"},
      {"Letters/\xC5\xA1koda/a.KAA", "mix.KAA"}};
  std::error_code ec;
  for (const auto& [to, from] : collection) {
    std::filesystem::create_directories(std::filesystem::path(folder + to).parent_path());
    if (!std::filesystem::copy_file(folder + from, folder + to, ec)) return 1;
  }
  std::FILE* huge = std::fopen((folder + "huge.KAA").c_str(), "wb");
  if (huge == nullptr) return 1;
  std::fclose(huge);
  std::filesystem::resize_file(folder + "huge.KAA", std::uintmax_t{2} << 30, ec);
  return 0;
}
