// Names as Windows compares them: the letters a musician's names hold, each
// with what Windows' own table folds it to (not always Unicode's).

#include "core/windows_fold.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct FoldCase {
  std::string name;
  std::string folded;
};

TEST(WindowsFold, FoldsAsWindowsComparesNames) {
  const std::vector<FoldCase> cases{
      // Latin-1's and Windows-1252's letters, both ways.
      {"é", "É"}, {"É", "É"}, {"Café Piano", "CAFÉ PIANO"}, {"škoda", "ŠKODA"}, {"Škoda", "ŠKODA"},
      {"œuvre", "ŒUVRE"}, {"Žal", "ŽAL"}, {"ÿ", "Ÿ"}, {"Ÿ", "Ÿ"},
      // Greek and Cyrillic; a final sigma is not a sigma to Windows.
      {"ω", "Ω"}, {"Ωμέγα", "ΩΜΈΓΑ"}, {"σ", "Σ"}, {"ς", "ς"}, {"σοφός", "ΣΟΦΌς"},
      {"ж", "Ж"}, {"Жук", "ЖУК"},
      // Kept, though Unicode upper-cases them: ß has no one letter, the
      // micro sign is not Greek's mu, the dotless ı is not i.
      {"ß", "ß"}, {"µ", "µ"}, {"μ", "Μ"}, {"ı", "ı"}, {"i", "I"}, {"İ", "İ"},
      {"ǆ", "Ǆ"}, {"ǅ", "ǅ"},  // a title case digraph stays
      // Digits and marks, and characters beyond the BMP, are their own.
      {"Pad 2", "PAD 2"}, {"0123456789", "0123456789"}, {"🎹 keys", "🎹 KEYS"}, {"𐐨", "𐐨"},
      // Malformed UTF-8 keeps its bytes; what follows is folded.
      {"Caf\xE9", "CAF\xE9"}, {"a\xC3", "A\xC3"}, {"\xC3" "b", "\xC3" "B"},
      {"\xE2\x82z", "\xE2\x82Z"}, {"\xC1\xA1", "\xC1\xA1"}, {"\xE0\x81\xA1", "\xE0\x81\xA1"},
      {"\xED\xA0\x80x", "\xED\xA0\x80X"}, {"\xF0\x9F" "a", "\xF0\x9F" "A"},
      {"\xC3\xA9\xA9z", "\xC3\x89\xA9Z"}, {std::string("a\0b", 3), std::string("A\0B", 3)},
  };
  for (const FoldCase& c : cases) EXPECT_EQ(windows_folded(c.name), c.folded) << c.name;
}

}  // namespace
