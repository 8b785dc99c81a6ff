// The drop target for Windows Explorer, run under Wine's cmd as Explorer
// starts it: each dropped bank is listed and extracted into a folder beside
// it, named after it, holding exactly what `vortrim -e` writes.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "tests/bank_builder.h"
#include "tests/run_program.h"
#include "tests/tables.h"
#include "tests/test_util.h"

namespace fs = std::filesystem;

namespace {

struct DropCase {
  const char* what;
  std::vector<std::string> banks;  // dropped, in this order
  std::vector<std::string> earlier = {};  // files there before the drop
  std::vector<std::string> damaged = {};  // banks among them that are 3000 bytes of nothing
  // Banks that hold, after their two patches, patches named so: Windows
  // refuses each name, and the patch is left out.
  std::map<std::string, std::vector<std::string>> refused = {};
  bool list = false;                      // listed, not extracted: /list first,
  // unless the script is installed under the name that lists
  std::string script = "vortrim-drop.cmd";
  std::string closing = "";  // the line that ends the window's text
};

// The folder a bank's patches go to: the folder table's, for its banks.
fs::path folder_of(const fs::path& bank) {
  for (const BankFolder& f : bank_folders()) {
    if (bank.filename() == f.bank) return bank.parent_path() / f.folder;
  }
  return bank.parent_path() / bank.stem();
}

class DropTarget : public testing::TestWithParam<DropCase> {};

TEST_P(DropTarget, ExtractsEachBankBesideIt) {
  const DropCase& c = GetParam();
  const ScratchDir dir;
  // Installed as from the .zip: the script beside vortrim.exe.
  fs::create_directories(dir.path / "vortrim 1.2");
  fs::copy_file(program_path(), dir.path / "vortrim 1.2" / "vortrim.exe");
  fs::copy_file(drop_target().script, dir.path / "vortrim 1.2" / c.script);
  std::vector<std::string> args{windows_path(dir.path / "vortrim 1.2" / c.script)};
  if (c.list && c.script == "vortrim-drop.cmd") args.push_back("/list");
  std::vector<TestBank> contents;
  const auto damaged = [&](const std::string& bank) {
    return std::find(c.damaged.begin(), c.damaged.end(), bank) != c.damaged.end();
  };
  const auto refused = [&](const std::string& bank) {
    const auto names = c.refused.find(bank);
    return names == c.refused.end() ? std::vector<std::string>{} : names->second;
  };
  for (std::size_t i = 0; i < c.banks.size(); ++i) {
    const fs::path bank = dir.path / c.banks[i];
    fs::create_directories(bank.parent_path());
    contents.push_back({.patches = {{.slot = 0, .name = "Pad" + std::to_string(i)},
                                    {.slot = 1, .name = "Lead", .sources = 1 + int(i)}}});
    std::vector<TestPatch>& patches = contents.back().patches;
    for (const std::string& name : refused(c.banks[i])) {
      patches.push_back({.slot = int(patches.size()), .name = name});
    }
    ASSERT_TRUE(write_bytes(bank.string(), damaged(c.banks[i])
                                               ? std::vector<unsigned char>(3000)
                                               : build_bank(contents.back())));
    args.push_back(windows_path(bank));
  }
  for (const std::string& name : c.earlier) {
    fs::create_directories((dir.path / name).parent_path());
    ASSERT_TRUE(write_bytes((dir.path / name).string(), {'o', 'l', 'd'}));
  }
  const RunResult r = run_program(args, dir.path, {.windows_program = drop_target().starter});
  EXPECT_EQ(r.status, 0);
  // The window waits for a key.
  EXPECT_NE(r.out.find("Press any key"), std::string::npos) << r.out;
  // Each bank's block is headed by its name, then says what vortrim made of
  // it; several end with a count.
  std::size_t heading = 0;
  for (std::size_t i = 0; i < c.banks.size(); ++i) {
    // cmd writes its own echo to a pipe in a code page of its own.
    const std::string name = fs::path(c.banks[i]).filename().string();
    if (std::any_of(name.begin(), name.end(), [](char ch) { return ch & 0x80; })) continue;
    heading = r.out.find("==== " + name + " ====", heading);
    EXPECT_NE(heading, std::string::npos) << c.banks[i] << " in order in:\n" << r.out;
    int room = 131072;
    for (const TestPatch& p : contents[i].patches) room -= patch_size(p.sources, p.kits);
    const std::string said =
        damaged(c.banks[i]) ? "\" is not a K5000 bank: it is too short to be one."
                            : "\" contains " + std::to_string(contents[i].patches.size()) +
                                  " patches. " + std::to_string(room) + " bytes";
    EXPECT_NE(r.out.find("\\" + name + said, heading), std::string::npos) << name << ":\n" << r.out;
    for (const std::string& left : refused(c.banks[i])) {
      const std::string line =
          left + ".KA1 - Cannot open KA1 file! (Patch name may be incompatible.)";
      EXPECT_NE(r.out.find("\r\n" + line + "\r\n", heading), std::string::npos) << r.out;
    }
  }
  if (!c.closing.empty()) {
    EXPECT_NE(r.out.find("\r\n" + c.closing + "\r\n"), std::string::npos) << r.out;
  }
  // Where none was left out, no line says so.
  if (c.refused.empty()) {
    EXPECT_EQ(r.out.find("left out"), std::string::npos) << r.out;
  }
  for (std::size_t i = 0; i < c.banks.size(); ++i) {
    const fs::path bank = dir.path / c.banks[i];
    const fs::path folder = folder_of(bank);
    // A bank listed only, or one that could not be read, leaves no folder
    // that was not there.
    if (c.list || damaged(c.banks[i])) {
      const bool was_there = std::any_of(c.earlier.begin(), c.earlier.end(), [&](const auto& e) {
        return (dir.path / e).parent_path() == folder;
      });
      EXPECT_EQ(fs::exists(folder), was_there) << folder;
      continue;
    }
    // Every patch of the bank, byte for byte; an existing folder is used as
    // it is.
    std::map<std::string, std::vector<unsigned char>> expected;
    for (const TestPatch& p : contents[i].patches) {
      if (p.slot < 2) expected[p.name + ".KA1"] = patch_bytes(p);  // not those refused
    }
    for (const std::string& earlier : c.earlier) {
      if ((dir.path / earlier).parent_path() == folder) {
        expected[fs::path(earlier).filename().string()] = {'o', 'l', 'd'};
      }
    }
    EXPECT_EQ(files_under(folder), expected) << c.banks[i];
  }
}

// The folder table's banks, dropped together.
std::vector<std::string> table_banks() {
  std::vector<std::string> banks;
  for (const BankFolder& f : bank_folders()) banks.push_back("Table/" + f.bank);
  return banks;
}

INSTANTIATE_TEST_SUITE_P(
    Dropped, DropTarget,
    testing::Values(
        DropCase{"one bank", {"Banks/SYNTH1.KAA"}},
        DropCase{"a path with spaces", {"My Banks/Bank One.KAA"}},
        DropCase{"two banks", {"Banks/A.KAA", "Other Banks/B.KAA"}},
        DropCase{"a folder that already exists", {"Banks/SYNTH1.KAA"}, {"Banks/SYNTH1/Old.txt"}},
        DropCase{"an ampersand in a path with spaces", {"Rock & Roll/Hits.KAA"}},
        DropCase{.what = "a bank that cannot be read among others",
                 .banks = {"Banks/A.KAA", "Banks/Wave.KAA", "Banks/B.KAA"},
                 .damaged = {"Banks/Wave.KAA"},
                 .closing = "2 of 3 banks extracted, 1 failed."},
        DropCase{.what = "a bank that cannot be read, its folder there before",
                 .banks = {"Banks/Wave.KAA"},
                 .earlier = {"Banks/Wave/Old.txt"},
                 .damaged = {"Banks/Wave.KAA"}},
        DropCase{"Polish letters and a snowman", {"\u0141\u00F3d\u017A/B\u00E4nke \u2603.KAA"}},
        DropCase{.what = "listed only",
                 .banks = {"Rock & Roll (live)/A.KAA", "Banks/Wave.KAA"},
                 .damaged = {"Banks/Wave.KAA"},
                 .list = true,
                 .closing = "1 of 2 banks listed, 1 failed."},
        DropCase{.what = "dropped on vortrim-list.cmd: listed only",
                 .banks = {"Banks/A.KAA", "Banks/Wave.KAA"},
                 .damaged = {"Banks/Wave.KAA"},
                 .list = true,
                 .script = "vortrim-list.cmd",
                 .closing = "1 of 2 banks listed, 1 failed."},
        DropCase{.what = "the folder table's names", .banks = table_banks(),
                 .closing = "5 of 5 banks extracted, 0 failed."},
        DropCase{.what = "names Windows refuses among other banks",
                 .banks = {"Banks/A.KAA", "Odd & Ends/Odd.KAA", "Banks/Wave.KAA", "Banks/B.KAA"},
                 .damaged = {"Banks/Wave.KAA"},
                 .refused = {{"Odd & Ends/Odd.KAA",
                              {"Vox?", "COM1", "A:B", "CON", "prn", "Aux.1", "LPT9", "Hi|Lo",
                               "<Pad>", "St*r", "Say\"Hi", "Up>Down"}}},
                 .closing = "3 of 4 banks extracted, 1 failed; in 1 of them 12 patches were left "
                            "out: Windows refuses their names, and the page renames them."},
        DropCase{.what = "names Windows refuses in two banks",
                 .banks = {"Banks/A.KAA", "Banks/B.KAA"},
                 .refused = {{"Banks/A.KAA", {"COM1"}}, {"Banks/B.KAA", {"A:B", "Vox?"}}},
                 .closing = "2 of 2 banks extracted, 0 failed; in 2 of them 3 patches were left "
                            "out: Windows refuses their names, and the page renames them."},
        DropCase{.what = "a name Windows refuses, its bank dropped alone",
                 .banks = {"Banks/Vox.KAA"},
                 .refused = {{"Banks/Vox.KAA", {"Vox?"}}},
                 .closing = "1 patch was left out: Windows refuses its name, and the page "
                            "renames it."}),
    NameByWhat());

}  // namespace
