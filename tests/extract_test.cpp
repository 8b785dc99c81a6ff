#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "output/extract.h"
#include "output/naming.h"

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

TEST(MakeStem, TrimsPaddingUnlessANulEndsTheName) {
  const std::vector<std::pair<std::string, std::string>> cases{
      {"Strings ", "Strings"},  {"A B     ", "A B"},     {"        ", ""},
      {"Strings1", "Strings1"}, {" Lead   ", " Lead"},   {"Pad/Str ", "Pad_Str"},
      {"..\\..\\x", ".._.._x"}, {"../     ", ".._"},     {std::string("AB\0CDEFG", 8), "AB"},
      {std::string("Pad \0   ", 8), "Pad "},             {std::string("\0XXXXXXX", 8), ""},
  };
  for (const auto& [name, stem] : cases) {
    std::array<char, 9> field{};
    std::copy(name.begin(), name.end(), field.begin());
    EXPECT_EQ(make_stem(field.data()), stem) << name;
  }
}

TEST(UniqueStem, NumbersRepeatsWithinEightCharacters) {
  struct Case {
    std::vector<std::string> stems;   // in the order the patches come
    std::vector<std::string> unique;  // what each becomes
    std::set<std::string> taken = {};  // stems whose path leads to a file written
  };
  const std::vector<Case> cases{
      {{"Init", "Init", "Init"}, {"Init", "Init~2", "Init~3"}},
      {{"Init", "INIT", "init"}, {"Init", "INIT~2", "init~3"}},
      {{"Strings1", "Strings1"}, {"Strings1", "String~2"}},
      {{"", ""}, {"", "~2"}},
      {{"Init~2", "Init", "Init"}, {"Init~2", "Init", "Init~3"}},
      {{"A", "B", "a", "b"}, {"A", "B", "a~2", "b~2"}},
      {{"ZAP", "zap", "Zap"}, {"ZAP", "zap~2", "Zap~3"}},
      {{"Pad"}, {"Pad~3"}, {"Pad", "Pad~2"}},
      {{"Lead", "Lead"}, {"Lead~2", "Lead~3"}, {"Lead"}},
  };
  for (const Case& c : cases) {
    std::set<std::string> used;
    const auto taken = [&](const std::string& stem) { return c.taken.count(stem) > 0; };
    for (std::size_t i = 0; i < c.stems.size(); ++i) {
      EXPECT_EQ(unique_stem(c.stems[i], used, taken), c.unique[i]) << c.stems[i] << i;
    }
  }
  std::set<std::string> used;
  std::string last;
  for (int n = 1; n <= 11; ++n) last = unique_stem("Strings1", used);
  EXPECT_EQ(last, "Strin~11");
  // A full bank of one name still gets 128 distinct names.
  for (int n = 12; n <= 128; ++n) last = unique_stem("Strings1", used);
  EXPECT_EQ(last, "Stri~128");
  EXPECT_EQ(used.size(), 128u);
}

TEST(StemRefused, WindowsRefusesDevicesStreamsAndItsForbiddenCharacters) {
  for (const char* stem : {"CON", "con", "Prn", "AUX", "nul", "COM1", "com9", "LPT1", "lpt9",
                           "CON ", "nul.", "A:B", ":", "C:", "COM0", "lpt0", "NUL.a",
                           "nul.KA1", "AUX.a", "COM1.x", "NUL .a", "COM\xB9", "lpt\xB2",
                           "LPT\xB3.x", "nul.x.y", "CON.tar.gz", "Vox?", "<Pad>", "Say \"A\"",
                           "A|B", "Str*", "Tab\t", "Esc\x1B[m", "\x7F\x01"}) {
    EXPECT_TRUE(stem_refused(stem, NameRules::kWindows)) << stem;
    EXPECT_FALSE(stem_refused(stem, NameRules::kPosix)) << stem;
  }
  for (const char* stem : {"", "CONS", "CO", "COM", "LPT10", "AUX1", "NULL", "Init",
                           "CON~2", "A B", "X.CON", ".NUL", "CONS.a", "COM\xB4", "COM\xB9x",
                           " NUL", "Del\x7F", "Caf\xE9", "R&B 100%", "(a)[b]{c}", "A.B."}) {
    EXPECT_FALSE(stem_refused(stem, NameRules::kWindows)) << stem;
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

}  // namespace
