// Extraction from the outside: the progress text byte for byte, every
// written file byte for byte, and no file anywhere else.

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <map>

#include "tests/bank_builder.h"
#include "tests/run_program.h"
#include "tests/test_util.h"

namespace fs = std::filesystem;

namespace {

const std::string kCannotOpen = " - Cannot open KA1 file! (Patch name may be incompatible.)";

// Every regular file under `dir`, by path relative to it, with its bytes.
std::map<std::string, std::vector<unsigned char>> files_under(const fs::path& dir) {
  std::map<std::string, std::vector<unsigned char>> files;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    std::vector<unsigned char>& bytes = files[entry.path().lexically_relative(dir).generic_string()];
    if (entry.is_symlink()) {  // as "-> target", so that a link cannot pass for a file
      const std::string target = "-> " + fs::read_symlink(entry.path()).string();
      bytes.assign(target.begin(), target.end());
    } else if (entry.is_regular_file()) {
      bytes = read_bytes(entry.path());
    }
  }
  return files;
}

// A run in a fresh directory that holds BANK.KAA and an empty OUT.
struct Extraction {
  ScratchDir dir;
  RunResult run;
  std::map<std::string, std::vector<unsigned char>> files;  // all of dir but BANK.KAA
};

void extract(Extraction& x, const TestBank& bank, const std::vector<std::string>& args,
             const std::function<void(const fs::path&)>& prepare = {},
             const RunOptions& options = {}) {
  ASSERT_TRUE(write_bytes((x.dir.path / "BANK.KAA").string(), build_bank(bank)));
  fs::create_directory(x.dir.path / "OUT");
  if (prepare) prepare(x.dir.path);
  x.run = run_program(args, x.dir.path, options);
  x.files = files_under(x.dir.path);
  x.files.erase("BANK.KAA");
}

std::string after_summary(const std::string& out) {
  const std::size_t eol = out.find('\n');
  return eol == std::string::npos ? out : out.substr(eol + 1);
}

std::string dest(const std::string& value) {
  return value.empty() || value.back() != program_separator() ? value + program_separator()
                                                               : value;
}

// The last patch ends exactly at the end of patch memory: a full bank.
TEST(Extract, WritesEveryPatchInMemoryOrderAfterTheListing) {
  const TestPatch strings{.slot = 3, .name = "Strings ", .sources = 2, .kits = "APAA"};
  const TestPatch bells{.slot = 0, .name = "Bells", .sources = 6, .kits = "AAAAAA",
                        .pointer = 0x20000 + kMemorySize - 5434};
  const TestPatch organ{.slot = 127, .name = "A B", .sources = 0};
  const TestBank bank{.patches = {strings, organ, bells}};
  Extraction x;
  extract(x, bank, {"-eOUT", "-iBANK.KAA", "-l"});
  EXPECT_EQ(x.run.out, as_output("\"BANK.KAA\" contains 3 patches. 0 bytes ( 0.00% of memory) free.\n"
                                 "number name     sources  size\n"
                                 "    4  Strings   AP----  1060\n"
                                 "  128  A B       ------    82\n"
                                 "    1  Bells     AAAAAA  5434\n"
                                 "\nExtracting to path \"" + dest("OUT") + "\"...\n"
                                 "Strings.KA1\nA B.KA1\nBells.KA1\n\n\n"));
  EXPECT_EQ(x.run.err, "");
  EXPECT_EQ(x.run.status, 0);
  const std::map<std::string, std::vector<unsigned char>> expected{
      {"OUT", {}},
      {"OUT/Strings.KA1", patch_bytes(strings)},
      {"OUT/Bells.KA1", patch_bytes(bells)},
      {"OUT/A B.KA1", patch_bytes(organ)}};
  EXPECT_EQ(x.files, expected);
}

// Names that would clash, leave the directory or vanish as a stem.
TEST(Extract, NoPatchIsLostOrLeavesTheDirectory) {
  std::vector<TestPatch> patches{{.slot = 0, .name = "Init"},
                                 {.slot = 1, .name = "INIT", .sources = 1},
                                 {.slot = 2, .name = "Pad/Str ", .sources = 1, .kits = "A"},
                                 {.slot = 3, .name = "../../x"},
                                 {.slot = 4, .name = "        "},
                                 {.slot = 5, .name = "..\\Up", .sources = 2}};
  for (int s = 10; s < 21; ++s) patches.push_back({.slot = s, .name = "Strings1"});
  const TestBank bank{.patches = patches};
  Extraction x;
  extract(x, bank, {"-iBANK.KAA", "-eOUT"});
  const std::vector<std::string> names{"Init",     "INIT~2",   "Pad_Str",  ".._.._x",
                                       "",         ".._Up",    "Strings1", "String~2",
                                       "String~3", "String~4", "String~5", "String~6",
                                       "String~7", "String~8", "String~9", "Strin~10",
                                       "Strin~11"};
  std::string progress = "\nExtracting to path \"" + dest("OUT") + "\"...";
  std::map<std::string, std::vector<unsigned char>> expected{{"OUT", {}}};
  for (std::size_t i = 0; i < names.size(); ++i) {
    progress += "\n" + names[i] + ".KA1";
    expected["OUT/" + names[i] + ".KA1"] = patch_bytes(patches[i]);
  }
  EXPECT_EQ(after_summary(x.run.out), as_output(progress + "\n\n\n"));
  EXPECT_EQ(x.run.status, 0);
  EXPECT_EQ(x.files, expected);
}

// Names that a file system takes for a device, for one another or for a
// link: each patch gets a file of its own or is refused, and nothing outside
// the destination changes.
struct NameCase {
  const char* what;
  std::vector<std::string> names;  // of the patches, in memory order
  // The stem each is written as, natively and under Wine; a trailing "!"
  // marks one refused with "Cannot open".
  std::vector<std::string> on_linux;
  std::vector<std::string> on_windows;
  std::vector<std::pair<std::string, std::string>> links = {};  // in OUT: name, target
  std::vector<std::string> folders = {};  // in OUT
};

// `stem` as it lands on the disk: Wine stores the ANSI code page's letters
// in UTF-8.
std::string on_disk(const std::string& stem) {
  if (runs_natively()) return stem;
  std::string utf8;
  for (const char c : stem) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x80) {
      utf8 += c;
    } else {  // Latin-1, which the tests' letters share with code page 1252
      utf8 += static_cast<char>(0xC0 | (b >> 6));
      utf8 += static_cast<char>(0x80 | (b & 0x3F));
    }
  }
  return utf8;
}

class ExtractNames : public testing::TestWithParam<NameCase> {};

TEST_P(ExtractNames, EachPatchGetsAFileOfItsOwn) {
  const NameCase& c = GetParam();
  TestBank bank;
  for (std::size_t i = 0; i < c.names.size(); ++i) {
    bank.patches.push_back({.slot = static_cast<int>(i), .name = c.names[i],
                            .sources = static_cast<int>(i % 7)});
  }
  const std::vector<unsigned char> victim{'k', 'e', 'e', 'p'};
  Extraction x;
  extract(x, bank, {"-iBANK.KAA", "-eOUT"}, [&](const fs::path& dir) {
    ASSERT_TRUE(write_bytes((dir / "victim.txt").string(), victim));
    for (const auto& [name, target] : c.links) fs::create_symlink(target, dir / "OUT" / name);
    for (const std::string& name : c.folders) fs::create_directory(dir / "OUT" / name);
  });
  const std::vector<std::string>& stems = runs_natively() ? c.on_linux : c.on_windows;
  std::string progress = "\nExtracting to path \"" + dest("OUT") + "\"...";
  std::map<std::string, std::vector<unsigned char>> expected{{"OUT", {}}, {"victim.txt", victim}};
  for (const std::string& name : c.folders) expected["OUT/" + name] = {};
  for (const auto& [name, target] : c.links) {
    const std::string shown = "-> " + target;  // as files_under shows a link
    expected["OUT/" + name] = {shown.begin(), shown.end()};
  }
  for (std::size_t i = 0; i < stems.size(); ++i) {
    if (stems[i].ends_with('!')) {
      progress += "\n" + stems[i].substr(0, stems[i].size() - 1) + ".KA1" + kCannotOpen;
    } else {
      progress += "\n" + stems[i] + ".KA1";
      expected["OUT/" + on_disk(stems[i]) + ".KA1"] = patch_bytes(bank.patches[i]);
    }
  }
  EXPECT_EQ(after_summary(x.run.out), as_output(progress + "\n\n\n"));
  EXPECT_EQ(x.run.status, 0);
  EXPECT_EQ(x.files, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Names, ExtractNames,
    testing::Values(
        // Windows would send these to a device or a hidden stream.
        NameCase{"devices and streams",
                 {"CON", "A:B", "lpt1", "NUL.a", "nul .x", "COM1.x", "COM0", "Lpt\xB9"},
                 {"CON", "A:B", "lpt1", "NUL.a", "nul .x", "COM1.x", "COM0", "Lpt\xB9"},
                 {"CON!", "A:B!", "lpt1!", "NUL.a!", "nul .x!", "COM1.x!", "COM0!", "Lpt\xB9!"}},
        // NTFS and Wine fold case in every script, not only in ASCII.
        NameCase{"case folded beyond ASCII",
                 {"\xE9t\xE9", "\xC9T\xC9", "caf\xE9", "CAF\xC9", "\xE6", "\xC6"},
                 {"\xE9t\xE9", "\xC9T\xC9", "caf\xE9", "CAF\xC9", "\xE6", "\xC6"},
                 {"\xE9t\xE9", "\xC9T\xC9~2", "caf\xE9", "CAF\xC9~2", "\xE6", "\xC6~2"}},
        // The second name is the first one's 8.3 alias on Windows.
        NameCase{"short name alias", {"Gam ma", "GAM_~2M0"}, {"Gam ma", "GAM_~2M0"},
                 {"Gam ma", "GAM_~2~2"}},
        // A link named like a later patch's file leads to an earlier one's.
        NameCase{"link to a file of this run", {"Lead", "Pad"}, {"Lead", "Pad~2"},
                 {"Lead", "Pad~2"}, {{"Pad.KA1", "Lead.KA1"}}},
        // The link is replaced; what it pointed to is left alone.
        NameCase{"link out of the destination", {"Lead"}, {"Lead"}, {"Lead"},
                 {{"Lead.KA1", "../victim.txt"}}},
        // A folder in the way is refused, not replaced.
        NameCase{"folder in the way", {"Dir", "Pad"}, {"Dir!", "Pad"}, {"Dir!", "Pad"}, {},
                 {"Dir.KA1"}}),
    NameByWhat());

struct DestinationCase {
  const char* what;
  std::string value;  // the -e value
  bool with_patches;
  std::string shown;  // the destination path as printed
  std::string lines;  // what follows the "Extracting" line
  std::vector<std::string> files;  // all that is in the directory afterwards
};

class ExtractTo : public testing::TestWithParam<DestinationCase> {};

TEST_P(ExtractTo, Destination) {
  const DestinationCase& c = GetParam();
  TestBank bank;
  if (c.with_patches) bank.patches = {{.slot = 0, .name = "One"}, {.slot = 1, .name = "Two"}};
  Extraction x;
  extract(x, bank, {"-iBANK.KAA", "-e" + c.value});
  EXPECT_EQ(after_summary(x.run.out),
            as_output("\nExtracting to path \"" + c.shown + "\"..." + c.lines + "\n\n\n"));
  EXPECT_EQ(x.run.err, "");
  EXPECT_EQ(x.run.status, 0);
  std::vector<std::string> names;
  for (const auto& [name, bytes] : x.files) names.push_back(name);
  EXPECT_EQ(names, c.files);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ExtractTo,
    testing::Values(
        DestinationCase{"separator appended", "OUT", true, dest("OUT"), "\nOne.KA1\nTwo.KA1",
                        {"OUT", "OUT/One.KA1", "OUT/Two.KA1"}},
        DestinationCase{"trailing slash", "OUT/", true, dest("OUT/"), "\nOne.KA1\nTwo.KA1",
                        {"OUT", "OUT/One.KA1", "OUT/Two.KA1"}},
        DestinationCase{"trailing own separator", dest("OUT"), true, dest("OUT"),
                        "\nOne.KA1\nTwo.KA1", {"OUT", "OUT/One.KA1", "OUT/Two.KA1"}},
        DestinationCase{"missing directory is not created", "NOPE", true, dest("NOPE"),
                        "\nOne.KA1" + kCannotOpen + "\nTwo.KA1" + kCannotOpen, {"OUT"}},
        DestinationCase{"empty bank", "OUT", false, dest("OUT"), "", {"OUT"}},
        DestinationCase{"empty value", "", false, dest(""), "", {"OUT"}}),
    NameByWhat());

// Paths are not cut at any fixed length.
TEST(Extract, LongDestinationPath) {
  const TestPatch one{.slot = 0, .name = "One", .sources = 1};
  const std::string part(200, 'd');
  Extraction x;
  extract(x, {.patches = {one}}, {"-iBANK.KAA", "-eOUT/" + part + "/" + part + "/" + part},
          [&](const fs::path& dir) { fs::create_directories(dir / "OUT" / part / part / part); });
  EXPECT_EQ(x.run.status, 0);
  EXPECT_EQ(x.files["OUT/" + part + "/" + part + "/" + part + "/One.KA1"], patch_bytes(one));
}

// Runs that something disturbs: each file is whole or absent (a file from an
// earlier run is then as it was), and no temporary file is left behind.
struct DisturbedCase {
  const char* what;
  std::vector<std::string> names;  // of the patches, in memory order
  RunOptions options;
  std::string progress;  // after the summary; empty where it is lost
  int status;            // -1 where a signal ends the run
  int signal;
  std::vector<std::string> whole;  // the patches whose files hold them, whole
};

class ExtractDisturbed : public testing::TestWithParam<DisturbedCase> {};

TEST_P(ExtractDisturbed, LeavesEachFileWholeOrAbsent) {
  const DisturbedCase& c = GetParam();
  // A file size limit and a preloaded stop do not reach into Wine.
  if (!runs_natively() && (c.options.file_size_limit > 0 || c.options.stop_at_write > 0)) {
    GTEST_SKIP() << "Wine hides write failures and preloaded libraries";
  }
  TestBank bank;
  for (std::size_t i = 0; i < c.names.size(); ++i) {
    // The first patch is the largest, 5434 bytes: past a 4096-byte limit.
    bank.patches.push_back({.slot = static_cast<int>(i), .name = c.names[i],
                            .sources = i == 0 ? 6 : 1, .kits = i == 0 ? "AAAAAA" : ""});
  }
  const std::vector<unsigned char> earlier(9000, 7);
  Extraction x;
  extract(x, bank, {"-iBANK.KAA", "-l", "-eOUT"}, [&](const fs::path& dir) {
    ASSERT_TRUE(write_bytes((dir / "OUT" / "Old.KA1").string(), earlier));
  }, c.options);
  if (!c.progress.empty()) {
    const std::string out = x.run.out.substr(x.run.out.find(as_output("\nExtracting")));
    EXPECT_EQ(out, as_output("\nExtracting to path \"" + dest("OUT") + "\"..." + c.progress +
                             "\n\n\n"));
  }
  EXPECT_EQ(x.run.status, c.status);
  EXPECT_EQ(x.run.signal, c.signal);
  std::map<std::string, std::vector<unsigned char>> expected{{"OUT", {}},
                                                             {"OUT/Old.KA1", earlier}};
  for (const std::string& name : c.whole) {
    const auto patch = std::find_if(bank.patches.begin(), bank.patches.end(),
                                    [&](const TestPatch& p) { return p.name == name; });
    expected["OUT/" + name + ".KA1"] = patch_bytes(*patch);
  }
  EXPECT_EQ(x.files, expected);
}

std::vector<std::string> numbered_names(int count) {
  std::vector<std::string> names;
  for (int n = 1; n <= count; ++n) names.push_back("Patch" + std::to_string(n));
  return names;
}

INSTANTIATE_TEST_SUITE_P(
    Runs, ExtractDisturbed,
    testing::Values(
        // A failed write is reported and removed, and the run goes on; a file
        // from an earlier run is overwritten.
        DisturbedCase{"write fails half way", {"Full", "Old"}, {.file_size_limit = 4096},
                      "\nFull.KA1 - Cannot write KA1 file!\nOld.KA1", 0, 0, {"Old"}},
        DisturbedCase{"stopped in the middle of a write", {"Full", "Old"},
                      {.stop_at_write = 2}, "", -1, SIGTERM, {"Full"}},
        // Output that goes away (`| head -1`) stops no extraction; the run
        // reports the lost output with status 1.
        DisturbedCase{"standard output gone", numbered_names(128), {.stdout_gone = true}, "",
                      1, 0, numbered_names(128)}),
    NameByWhat());

}  // namespace
