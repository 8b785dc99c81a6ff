// File names: the destination path, each patch's file name as the program
// and the page give it, and each bank's folder.

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "core/messages.h"
#include "core/naming.h"
#include "tests/tables.h"
#include "tests/test_util.h"

namespace {

struct PathCase {
  std::string value;
  char separator;
  std::string path;
};

TEST(DestinationPath, AppendsOnlyAMissingSeparator) {
  const std::vector<PathCase> cases{
      {"OUT", '/', "OUT/"},           {"OUT/", '/', "OUT/"},
      {"", '/', "/"},                 {"/tmp/out", '/', "/tmp/out/"},
      {"OUT\\", '/', "OUT\\/"},       {"C:\\OUT", '\\', "C:\\OUT\\"},
      {"C:\\OUT\\", '\\', "C:\\OUT\\"}, {"OUT/", '\\', "OUT/\\"},
      {"", '\\', "\\"},
  };
  for (const PathCase& c : cases) {
    EXPECT_EQ(destination_path(c.value, c.separator), c.path) << c.value << c.separator;
  }
}

// A patch entry named `name` (up to 8 bytes; a NUL may end it early).
PatchEntry named(const std::string& name) {
  PatchEntry e;
  std::copy(name.begin(), name.end(), e.name.begin());
  std::fill(e.name.begin() + static_cast<long>(name.size()), e.name.end() - 1, ' ');
  return e;
}

// The file a fresh run with `rules` gives one patch named `name`.
PatchFileName first_file(const std::string& name, NameRules rules = NameRules::kPosix) {
  PatchNames names;
  names.rules = rules;
  return patch_file_name(names, named(name));
}

TEST(PatchFileName, TrimsPaddingUnlessANulEndsTheName) {
  const std::vector<std::pair<std::string, std::string>> cases{
      {"Strings ", "Strings"},  {"A B     ", "A B"},     {"        ", ""},
      {"Strings1", "Strings1"}, {" Lead   ", " Lead"},   {"Pad/Str ", "Pad_Str"},
      {"..\\..\\x", ".._.._x"}, {"../     ", ".._"},     {std::string("AB\0CDEFG", 8), "AB"},
      {std::string("Pad \0   ", 8), "Pad "},             {std::string("\0XXXXXXX", 8), ""},
      {"Caf\xE9 \x80", "Caf\xE9 \x80"},  // the name's bytes as they are
  };
  for (const auto& [name, stem] : cases) EXPECT_EQ(first_file(name).file, stem + ".KA1") << name;
}

TEST(PatchFileName, NumbersRepeatsWithinEightCharacters) {
  struct Case {
    std::vector<std::string> names;   // in the order the patches come
    std::vector<std::string> stems;   // what each file is called, but ".KA1"
    std::set<std::string> taken = {};  // files that lead to one written
  };
  const std::vector<Case> cases{
      {{"Init", "Init", "Init"}, {"Init", "Init~2", "Init~3"}},
      {{"Init", "INIT", "init"}, {"Init", "INIT~2", "init~3"}},
      {{"Strings1", "Strings1"}, {"Strings1", "String~2"}},
      {{"", ""}, {"", "~2"}},
      {{"Init~2", "Init", "Init"}, {"Init~2", "Init", "Init~3"}},
      {{"A", "B", "a", "b"}, {"A", "B", "a~2", "b~2"}},
      {{"ZAP", "zap", "Zap"}, {"ZAP", "zap~2", "Zap~3"}},
      {{"Pad"}, {"Pad~3"}, {"Pad.KA1", "Pad~2.KA1"}},
      {{"Lead", "Lead"}, {"Lead~2", "Lead~3"}, {"Lead.KA1"}},
  };
  for (const Case& c : cases) {
    PatchNames names;
    names.taken = [&](const std::string& file) { return c.taken.count(file) > 0; };
    for (std::size_t i = 0; i < c.names.size(); ++i) {
      EXPECT_EQ(patch_file_name(names, named(c.names[i])).file, c.stems[i] + ".KA1") << c.names[i] << i;
    }
  }
  PatchNames names;
  std::string last;
  for (int n = 1; n <= 11; ++n) last = patch_file_name(names, named("Strings1")).file;
  EXPECT_EQ(last, "Strin~11.KA1");
  // A full bank of one name still gets 128 distinct names.
  for (int n = 12; n <= 128; ++n) last = patch_file_name(names, named("Strings1")).file;
  EXPECT_EQ(last, "Stri~128.KA1");
  EXPECT_EQ(names.used.size(), 128u);
}

TEST(PatchFileName, WindowsRefusesDevicesStreamsAndItsForbiddenCharacters) {
  for (const std::string& name : std::vector<std::string>{
           "CON", "con", "Prn", "AUX", "nul", "COM1", "com9", "LPT1", "lpt9",
           std::string("CON \0", 5), "nul.", "A:B", ":", "C:", "COM0", "lpt0", "NUL.a",
           "nul.KA1", "AUX.a", "COM1.x", "NUL .a", "COM\xB9", "lpt\xB2",
           "LPT\xB3.x", "nul.x.y", "CON.a.gz", "Vox?", "<Pad>", "Say \"A\"",
           "A|B", "Str*", "Tab\t", "Esc\x1B[m", "\x7F\x01"}) {
    EXPECT_EQ(first_file(name, NameRules::kWindows).refused, kCannotOpenPatchFile) << name;
    // The page renames each, never leaves one out.
    EXPECT_EQ(first_file(name, NameRules::kPage).refused, nullptr) << name;
    EXPECT_NE(first_file(name, NameRules::kPage).renamed, "") << name;
    EXPECT_EQ(first_file(name, NameRules::kPosix).refused, nullptr) << name;
  }
  for (const char* name : {"", "CONS", "CO", "COM", "LPT10", "AUX1", "NULL", "Init",
                           "CON~2", "A B", "X.CON", ".NUL", "CONS.a", "COM\xB4", "COM\xB9x",
                           " NUL", "Del\x7F", "Caf\xE9", "R&B 100%", "(a)[b]{}", "A.B."}) {
    EXPECT_EQ(first_file(name, NameRules::kWindows).refused, nullptr) << name;
    EXPECT_EQ(first_file(name, NameRules::kPage).renamed, "") << name;
  }
}

// The page's .zip: a name Windows refuses is renamed, and says why; names
// Windows takes for one are numbered.
TEST(PatchFileName, ThePageRenamesWhatWindowsRefuses) {
  struct Case {
    std::vector<std::string> names;
    std::vector<std::string> files;
    std::vector<std::string> renamed;
  };
  const std::string kDevice = "renamed: Windows keeps ";
  const std::string kNot = "renamed: Windows does not allow ";
  const std::vector<Case> cases{
      {{"COM1", "lpt1.x", "NUL .a", "Com\xB9"},
       {"COM1_.KA1", "lpt1_.x.KA1", "NUL_ .a.KA1", "Com\xC2\xB9_.KA1"},
       {kDevice + "COM1 for a device", kDevice + "lpt1 for a device", kDevice + "NUL for a device",
        kDevice + "Com\xC2\xB9 for a device"}},
      {{"Vox?", "A:B", "<*>", "Tab\tx", "\x1B?"},
       {"Vox_.KA1", "A_B.KA1", "___.KA1", "Tab_x.KA1", "__.KA1"},
       {kNot + "? in a name", kNot + ": in a name", kNot + "<, * or > in a name",
        kNot + "control characters in a name", kNot + "? or control characters in a name"}},
      // Renamed into a name already given, and again: numbered as any.
      {{"Vox_", "Vox?", "Vox|"}, {"Vox_.KA1", "Vox_~2.KA1", "Vox_~3.KA1"},
       {"", kNot + "? in a name", kNot + "| in a name"}},
      {{"CON.abcd", "CON.abcd"}, {"CON_.abcd.KA1", "CON_.ab~2.KA1"},
       {kDevice + "CON for a device", kDevice + "CON for a device"}},
      // Windows takes these for one name: its case folding of Windows-1252.
      {{"Ch\xE9ur", "CH\xC9UR", "\x8A\x8C\x8E\x9F", "\x9A\x9C\x9E\xFF", "\xD7", "\xF7"},
       {"Ch\xC3\xA9ur.KA1", "CH\xC3\x89UR~2.KA1", "\xC5\xA0\xC5\x92\xC5\xBD\xC5\xB8.KA1",
        "\xC5\xA1\xC5\x93\xC5\xBE\xC3\xBF~2.KA1", "\xC3\x97.KA1", "\xC3\xB7.KA1"},
       {"", "", "", "", "", ""}},
      // In Windows-1252's text, in UTF-8.
      {{"Caf\xE9 \x80"}, {"Caf\xC3\xA9 \xE2\x82\xAC.KA1"}, {""}},
  };
  for (const Case& c : cases) {
    PatchNames names;
    names.rules = NameRules::kPage;
    for (std::size_t i = 0; i < c.names.size(); ++i) {
      const PatchFileName name = patch_file_name(names, named(c.names[i]));
      EXPECT_EQ(name.file, c.files[i]) << c.names[i];
      EXPECT_EQ(name.renamed, c.renamed[i]) << c.names[i];
      EXPECT_EQ(name.refused, nullptr) << c.names[i];
    }
  }
}

TEST(Windows1252, ReadsEveryByteAsAWesternWindowsDoes) {
  const std::vector<std::pair<std::string, std::string>> cases{
      {"Init", "Init"},
      {"Caf\xE9", "Caf\xC3\xA9"},            // é
      {"\x80uro", "\xE2\x82\xACuro"},        // €, from the 0x80 to 0x9F table
      {"\x9F", "\xC5\xB8"},                   // Ÿ, its last entry
      {"\x81\x8D", "\xC2\x81\xC2\x8D"},      // undefined: their own code points
      {"\xA0\xFF", "\xC2\xA0\xC3\xBF"},      // the rest is Latin-1
      {"\x7F", "\x7F"},
  };
  for (const auto& [text, utf8] : cases) EXPECT_EQ(windows_1252_to_utf8(text), utf8) << text;
}

class BankFolderName : public testing::TestWithParam<BankFolder> {};

TEST_P(BankFolderName, IsTheBanksNameWithoutItsExtension) {
  EXPECT_EQ(bank_folder_name(GetParam().bank), GetParam().folder);
}

INSTANTIATE_TEST_SUITE_P(Banks, BankFolderName, testing::ValuesIn(bank_folders()), NameByWhat());

// A collection's .zip: each bank's folder in the collection's folders, as
// Windows allows them, and none that Windows would take for another.
TEST(BankFolderPath, KeepsTheCollectionsFoldersAndNoTwoMeet) {
  const std::string kNot = "renamed: Windows does not allow ";
  const std::string kEnd = "renamed: Windows drops dots and spaces at the end of a name";
  const std::vector<std::tuple<std::string, std::string, std::string>> paths{
      {"DEMO.KAA", "DEMO", ""},
      {"Factory/DEMO.KAA", "Factory/DEMO", ""},
      {"Live 2003/DEMO.KAA", "Live 2003/DEMO", ""},
      {"factory/demo.kaa", "factory/demo~2", ""},
      {"Factory/DEMO.kaa", "Factory/DEMO~3", ""},
      {"Factory/NOEXT", "Factory/NOEXT_", ""},
      {"Chor\xC3\xA9/A.KAA", "Chor\xC3\xA9/A", ""},
      {"CHOR\xC3\x89/a.KAA", "CHOR\xC3\x89/a~2", ""},
      {"Vox?/CON.KAA", "Vox_/CON_", kNot + "? in a name"},
      {"a:b/x<y>.KAA", "a_b/x_y_", kNot + ": in a name"},
      // Windows drops a name's last dots and spaces: these would meet "Bank".
      {"Bank.KAA", "Bank", ""},
      {"Bank .KAA", "Bank_", kEnd},
      {"Bank..KAA", "Bank_~2", kEnd},
      {"Live. /Bank.KAA", "Live__/Bank", kEnd},
      // No folder leaves the .zip's, or has no name.
      {"../up.KAA", "__/up", kEnd},
      {"./x.KAA", "_/x", kEnd},
      {"/root.KAA", "_/root", ""},
      {"Live//A.KAA", "Live/_/A", ""},
      {"COM\xC2\xB9/A.KAA", "COM\xC2\xB9_/A", "renamed: Windows keeps COM\xC2\xB9 for a device"},
      // Every letter with a case, as Windows folds it.
      {"\xC5\xA0koda/A.KAA", "\xC5\xA0koda/A", ""},
      {"\xC5\xA1koda/a.KAA", "\xC5\xA1koda/a~2", ""},
      {"\xCE\xA9\xCE\xB4\xCE\xAE/A.KAA", "\xCE\xA9\xCE\xB4\xCE\xAE/A", ""},
      {"\xCF\x89\xCE\xB4\xCE\xAE/a.KAA", "\xCF\x89\xCE\xB4\xCE\xAE/a~2", ""},
      {"\xD0\x96/A.KAA", "\xD0\x96/A", ""},
      {"\xD0\xB6/a.KAA", "\xD0\xB6/a~2", ""},
  };
  BankFolders folders;
  for (const auto& [path, folder, renamed] : paths) {
    const BankFolderPath got = bank_folder_path(folders, path);
    EXPECT_EQ(got.path, folder) << path;
    EXPECT_EQ(got.renamed, renamed) << path;
  }
}

}  // namespace
