// Extraction from the outside: the progress text byte for byte, every
// written file byte for byte, and no file anywhere else.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <map>
#include <set>

#include "tests/bank_builder.h"
#include "tests/loop_disk.h"
#include "tests/run_program.h"
#include "tests/test_util.h"

namespace fs = std::filesystem;

namespace {

const std::string kCannotOpen = " - Cannot open KA1 file! (Patch name may be incompatible.)";

// Where Wine keeps a file's DOS attributes: "0x2" for hidden.
constexpr char kDosAttributes[] = "user.DOSATTRIB";

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

// The line that starts an extraction into `value`.
std::string extracting(const std::string& value) {
  return "\nExtracting to path \"" + dest(value) + "\"...";
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
                                 + extracting("OUT") + "\nStrings.KA1\nA B.KA1\nBells.KA1\n\n\n"));
  EXPECT_EQ(x.run.err, "");
  EXPECT_EQ(x.run.status, 0);
  const std::map<std::string, std::vector<unsigned char>> expected{
      {"OUT", {}},
      {"OUT/Strings.KA1", patch_bytes(strings)},
      {"OUT/Bells.KA1", patch_bytes(bells)},
      {"OUT/A B.KA1", patch_bytes(organ)}};
  EXPECT_EQ(x.files, expected);
}

// Names that a file system takes for a device, for one another or for a
// link: each patch gets a file of its own or is refused, and nothing outside
// the destination changes.
struct NameCase {
  const char* what;
  std::vector<std::string> names;  // of the patches, in memory order
  // The stem each is written as, natively and under Wine (none: as
  // natively); a trailing "!" marks one refused with "Cannot open".
  std::vector<std::string> on_linux;
  std::vector<std::string> on_windows;
  std::vector<std::pair<std::string, std::string>> links = {};  // in OUT: name, target
  std::vector<std::string> folders = {};  // in OUT
  std::vector<std::string> fifos = {};    // in OUT; natively only
  std::vector<std::string> earlier = {};  // files in OUT from an earlier run
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
  if (!runs_natively() && !c.fifos.empty()) GTEST_SKIP() << "no FIFOs on Windows";
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
    for (const std::string& name : c.fifos) {
      ASSERT_EQ(mkfifo((dir / "OUT" / name).c_str(), 0666), 0);
    }
    for (const std::string& name : c.earlier) {
      ASSERT_TRUE(write_bytes((dir / "OUT" / name).string(), victim));
    }
  });
  const std::vector<std::string>& stems =
      runs_natively() || c.on_windows.empty() ? c.on_linux : c.on_windows;
  std::string progress = extracting("OUT");
  std::map<std::string, std::vector<unsigned char>> expected{{"OUT", {}}, {"victim.txt", victim}};
  for (const std::string& name : c.folders) expected["OUT/" + name] = {};
  for (const std::string& name : c.fifos) expected["OUT/" + name] = {'|'};
  for (const auto& [name, target] : c.links) {
    const std::string shown = "-> " + target;  // as files_under shows a link
    expected["OUT/" + name] = {shown.begin(), shown.end()};
  }
  for (std::size_t i = 0; i < stems.size(); ++i) {
    // The log shows each name as its file is named: UTF-8 on Windows.
    if (stems[i].ends_with('!')) {
      progress += "\n" + on_disk(stems[i].substr(0, stems[i].size() - 1)) + ".KA1" + kCannotOpen;
    } else {
      progress += "\n" + on_disk(stems[i]) + ".KA1";
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
        // Names that would clash, leave the directory or vanish as a stem.
        NameCase{"no patch is lost or leaves the directory",
                 {"Init", "INIT", "Pad/Str ", "../../x", "        ", "..\\Up", "Strings1",
                  "Strings1", "Strings1", "Strings1", "Strings1", "Strings1", "Strings1",
                  "Strings1", "Strings1", "Strings1", "Strings1"},
                 {"Init", "INIT~2", "Pad_Str", ".._.._x", "", ".._Up", "Strings1", "String~2",
                  "String~3", "String~4", "String~5", "String~6", "String~7", "String~8",
                  "String~9", "Strin~10", "Strin~11"},
                 {}},
        // Windows would send these to a device or a hidden stream.
        NameCase{"devices and streams",
                 {"CON", "A:B", "lpt1", "NUL.a", "nul .x", "COM1.x", "COM0", "Lpt\xB9"},
                 {"CON", "A:B", "lpt1", "NUL.a", "nul .x", "COM1.x", "COM0", "Lpt\xB9"},
                 {"CON!", "A:B!", "lpt1!", "NUL.a!", "nul .x!", "COM1.x!", "COM0!", "Lpt\xB9!"}},
        // The device name is the part before the first dot, however many.
        NameCase{"devices before several dots", {"nul.x.y", "CON.a.gz"},
                 {"nul.x.y", "CON.a.gz"}, {"nul.x.y!", "CON.a.gz!"}},
        // NTFS and Wine fold case in every script, not only in ASCII.
        NameCase{"case folded beyond ASCII",
                 {"\xE9t\xE9", "\xC9T\xC9", "caf\xE9", "CAF\xC9", "\xE6", "\xC6"},
                 {"\xE9t\xE9", "\xC9T\xC9", "caf\xE9", "CAF\xC9", "\xE6", "\xC6"},
                 {"\xE9t\xE9", "\xC9T\xC9~2", "caf\xE9", "CAF\xC9~2", "\xE6", "\xC6~2"}},
        // The second name is the first one's 8.3 alias on Windows.
        NameCase{"short name alias", {"Gam ma", "GAM_~2M0"}, {"Gam ma", "GAM_~2M0"},
                 {"Gam ma", "GAM_~2~2"}},
        // A link named like a later patch's file leads to an earlier one's.
        NameCase{"link to a file of this run", {"Lead", "Pad"}, {"Lead", "Pad~2"}, {},
                 {{"Pad.KA1", "Lead.KA1"}}},
        // The link is replaced; what it pointed to is left alone.
        NameCase{"link out of the destination", {"Lead"}, {"Lead"}, {},
                 {{"Lead.KA1", "../victim.txt"}}},
        // A folder in the way is refused, not replaced.
        NameCase{"folder in the way", {"Dir", "Pad"}, {"Dir!", "Pad"}, {}, {}, {"Dir.KA1"}},
        // A link to a folder is replaced, the folder left alone; Windows sees
        // a folder there and refuses it.
        NameCase{"link to a folder", {"Lead"}, {"Lead"}, {"Lead!"}, {{"Lead.KA1", "Dir"}},
                 {"Dir"}},
        // A FIFO is refused at once: nothing waits for a reader, nothing
        // replaces it.
        NameCase{"FIFO in the way", {"Pipe", "Pad"}, {"Pipe!", "Pad"}, {}, {}, {}, {"Pipe.KA1"}},
        // Files of an earlier run are overwritten under their own names.
        NameCase{"files of an earlier run", {"Lead", "Pad"}, {"Lead", "Pad"}, {}, {}, {}, {},
                 {"Lead.KA1", "Pad.KA1"}}),
    NameByWhat());

struct DestinationCase {
  const char* what;
  std::string value;  // the -e value
  bool with_patches;
  std::string lines;  // what follows the "Extracting" line
  // All that is in the directory afterwards; each file named after a
  // patch holds its bytes.
  std::vector<std::string> files;
  std::string made = "";  // a folder made before the run
};

class ExtractTo : public testing::TestWithParam<DestinationCase> {};

TEST_P(ExtractTo, Destination) {
  const DestinationCase& c = GetParam();
  TestBank bank;
  if (c.with_patches) bank.patches = {{.slot = 0, .name = "One"}, {.slot = 1, .name = "Two"}};
  Extraction x;
  extract(x, bank, {"-iBANK.KAA", "-e" + c.value}, [&](const fs::path& dir) {
    if (!c.made.empty()) fs::create_directories(dir / c.made);
  });
  EXPECT_EQ(after_summary(x.run.out), as_output(extracting(c.value) + c.lines + "\n\n\n"));
  EXPECT_EQ(x.run.err, "");
  EXPECT_EQ(x.run.status, 0);
  std::map<std::string, std::vector<unsigned char>> expected;
  for (const std::string& name : c.files) {
    std::vector<unsigned char>& bytes = expected[name];
    for (const TestPatch& p : bank.patches) {
      if (name.ends_with("/" + p.name + ".KA1")) bytes = patch_bytes(p);
    }
  }
  EXPECT_EQ(x.files, expected);
}

const std::string kLong(200, 'd');  // a path part

INSTANTIATE_TEST_SUITE_P(
    Paths, ExtractTo,
    testing::Values(
        DestinationCase{"separator appended", "OUT", true, "\nOne.KA1\nTwo.KA1",
                        {"OUT", "OUT/One.KA1", "OUT/Two.KA1"}},
        DestinationCase{"trailing slash", "OUT/", true, "\nOne.KA1\nTwo.KA1",
                        {"OUT", "OUT/One.KA1", "OUT/Two.KA1"}},
        DestinationCase{"trailing own separator", dest("OUT"), true, "\nOne.KA1\nTwo.KA1",
                        {"OUT", "OUT/One.KA1", "OUT/Two.KA1"}},
        DestinationCase{"missing directory is not created", "NOPE", true,
                        "\nOne.KA1" + kCannotOpen + "\nTwo.KA1" + kCannotOpen, {"OUT"}},
        DestinationCase{"empty bank", "OUT", false, "", {"OUT"}},
        DestinationCase{"empty value", "", false, "", {"OUT"}},
        // Every character of the path is kept, on Windows too, where they
        // are outside the ANSI code page (a snowman is outside all of them).
        DestinationCase{"Polish letters", "\u0141\u00F3d\u017A", true, "\nOne.KA1\nTwo.KA1",
                        {"OUT", "\u0141\u00F3d\u017A", "\u0141\u00F3d\u017A/One.KA1", "\u0141\u00F3d\u017A/Two.KA1"},
                        "\u0141\u00F3d\u017A"},
        DestinationCase{"a snowman", "B\u00E4nke \u2603", true, "\nOne.KA1\nTwo.KA1",
                        {"B\u00E4nke \u2603", "B\u00E4nke \u2603/One.KA1", "B\u00E4nke \u2603/Two.KA1", "OUT"},
                        "B\u00E4nke \u2603"},
        // Paths are not cut at any fixed length.
        DestinationCase{"long path", "OUT/" + kLong + "/" + kLong + "/" + kLong, true,
                        "\nOne.KA1\nTwo.KA1",
                        {"OUT", "OUT/" + kLong, "OUT/" + kLong + "/" + kLong,
                         "OUT/" + kLong + "/" + kLong + "/" + kLong,
                         "OUT/" + kLong + "/" + kLong + "/" + kLong + "/One.KA1",
                         "OUT/" + kLong + "/" + kLong + "/" + kLong + "/Two.KA1"},
                        "OUT/" + kLong + "/" + kLong + "/" + kLong}),
    NameByWhat());

// Which write path a row is for: either, or only the one whose calls it
// disturbs or whose order it relies on.
enum class WritePath {
  kEither,
  kUnnamed,  // Linux's: staged in unnamed files, then named
  kNamed,    // the portable POSIX build's: written and named one at a time
};

bool other_path(WritePath path) {
  return (path == WritePath::kUnnamed && portable_posix()) ||
         (path == WritePath::kNamed && !portable_posix());
}

template <class Case>
Case on_path(WritePath path, Case c) {
  c.path = path;
  return c;
}

// Runs that something disturbs: each file is whole or absent (a file from an
// earlier run is then as it was), and no temporary file is left behind.
struct DisturbedCase {
  const char* what;
  std::vector<std::string> names;  // of the patches, in memory order
  RunOptions options;
  std::string progress;  // after the "Extracting" line, to the end; empty where it is lost
  int status;            // -1 where a signal ends the run
  int signal;
  std::vector<std::string> whole;  // the patches whose files hold them, whole
  // Temporary files that dead runs left in OUT, which the run removes.
  std::vector<std::string> leftovers = {};
  // Killed at a moment that depends on the host: each of `whole` is whole
  // or absent.
  bool whole_or_absent = false;
  // What the terminal shows last when the program stops.
  std::string shown_when_stopped = {};
  WritePath path = WritePath::kEither;
  // Old.KA1's permission bits and owner, which its replacement keeps.
  mode_t old_mode = 0644;
  User old_owner = User::kSame;
  // Under Wine: Old.KA1 is hidden, which Wine keeps in an extended
  // attribute; its replacement is hidden too.
  bool old_hidden = false;
  // Another run extracts into the folder while the program is stuck on its
  // output (Stdout::kStalled); it must leave the stuck run's files alone.
  bool second_run = false;
};

class ExtractDisturbed : public testing::TestWithParam<DisturbedCase> {};

TEST_P(ExtractDisturbed, LeavesEachFileWholeOrAbsent) {
  const DisturbedCase& c = GetParam();
  // A file size limit, a preloaded library and a lock do not reach into Wine.
  if (!runs_natively() && (c.options.file_size_limit > 0 || !c.options.faults.empty() ||
                           !c.options.temps.empty())) {
    GTEST_SKIP() << "Wine hides write failures and preloaded libraries";
  }
  if (other_path(c.path)) GTEST_SKIP() << "for the other write path";
  if (c.old_hidden && runs_natively()) GTEST_SKIP() << "hidden files are Windows'";
  if (!runs_natively() && c.options.stdout == Stdout::kTerminal) {
    GTEST_SKIP() << "Wine's console on a pseudo-terminal writes escape sequences of its own";
  }
  const bool plain = c.options.user == User::kPlain;
  if (plain && !plain_user_available()) GTEST_SKIP() << "needs root, and a plain user";
  TestBank bank;
  for (std::size_t i = 0; i < c.names.size(); ++i) {
    // The first patch is the largest, 5434 bytes: past a 4096-byte limit.
    bank.patches.push_back({.slot = static_cast<int>(i), .name = c.names[i],
                            .sources = i == 0 ? 6 : 1, .kits = i == 0 ? "AAAAAA" : ""});
  }
  const std::vector<unsigned char> earlier(9000, 7);
  Extraction x;
  RunOptions options = c.options;
  RunResult second;
  if (c.second_run) {
    options.while_stopped = [&] { second = run_program({"-iBANK.KAA", "-eOUT"}, x.dir.path); };
  }
  extract(x, bank, {"-iBANK.KAA", "-l", "-eOUT"}, [&](const fs::path& dir) {
    ASSERT_TRUE(write_bytes((dir / "OUT" / "Old.KA1").string(), earlier));
    for (const std::string& name : c.leftovers) {
      ASSERT_TRUE(write_bytes((dir / "OUT" / name).string(), earlier));
    }
    ASSERT_EQ(chmod((dir / "OUT" / "Old.KA1").c_str(), c.old_mode), 0);
    if (plain) {  // the plain user's folder
      fs::permissions(dir, fs::perms::all);
      ASSERT_EQ(chown((dir / "OUT").c_str(), kPlainUid, kPlainGid), 0);
    }
    if (c.old_owner == User::kPlain) {
      ASSERT_EQ(chown((dir / "OUT" / "Old.KA1").c_str(), kPlainUid, kPlainGid), 0);
    }
    if (c.old_hidden) {
      ASSERT_EQ(setxattr((dir / "OUT" / "Old.KA1").c_str(), kDosAttributes, "0x2", 3, 0), 0);
    }
  }, options);
  if (c.second_run) {
    EXPECT_EQ(second.status, 0) << second.out;
  }
  if (c.old_hidden) {
    char attributes[16] = "";
    const ssize_t n = getxattr((x.dir.path / "OUT" / "Old.KA1").c_str(), kDosAttributes,
                               attributes, sizeof attributes - 1);
    EXPECT_EQ(std::string(attributes, n > 0 ? static_cast<std::size_t>(n) : 0), "0x2");
  }
  struct stat old_file;
  if (runs_natively() && stat((x.dir.path / "OUT" / "Old.KA1").c_str(), &old_file) == 0) {
    EXPECT_EQ(old_file.st_mode & 0777, c.old_mode) << "Old.KA1's permission bits";
    EXPECT_EQ(old_file.st_uid, c.old_owner == User::kPlain ? kPlainUid : geteuid())
        << "Old.KA1's owner";
  }
  if (!c.progress.empty()) {
    const std::size_t at = x.run.out.find(as_output("\nExtracting"));
    const std::string out = at == std::string::npos ? x.run.out : x.run.out.substr(at);
    EXPECT_EQ(out, as_output("\nExtracting to path \"" + dest("OUT") + "\"..." + c.progress));
  }
  EXPECT_EQ(x.run.status, c.status);
  EXPECT_EQ(x.run.signal, c.signal);
  EXPECT_TRUE(x.run.shown_when_stopped.ends_with(c.shown_when_stopped)) << x.run.shown_when_stopped;
  std::map<std::string, std::vector<unsigned char>> expected{{"OUT", {}},
                                                             {"OUT/Old.KA1", earlier}};
  for (const std::string& name : c.whole) {
    const auto patch = std::find_if(bank.patches.begin(), bank.patches.end(),
                                    [&](const TestPatch& p) { return p.name == name; });
    expected["OUT/" + name + ".KA1"] = patch_bytes(*patch);
  }
  for (const TempFile& temp : c.options.temps) {
    // A live run's is neither removed nor written into; a dead one's goes.
    if (temp.locked || temp.owner == TempFile::kParent) {
      expected["OUT/" + temp_file_name(temp, x.run.pid)] = {'l', 'i', 'v', 'e'};
    }
  }
  if (c.whole_or_absent) {
    // Wine's server removes a killed program's temporary files once it has
    // seen it end, a moment after.
    for (int wait = 0; wait < 50 && !runs_natively(); ++wait) {
      if (std::none_of(x.files.begin(), x.files.end(),
                       [](const auto& f) { return f.first.starts_with("OUT/vortrim-"); })) {
        break;
      }
      usleep(100000);
      x.files = files_under(x.dir.path);
      x.files.erase("BANK.KAA");
    }
    for (const auto& [name, bytes] : x.files) {
      EXPECT_TRUE(expected.count(name) > 0 && expected[name] == bytes) << name;
    }
    return;
  }
  EXPECT_EQ(x.files, expected);
}

std::vector<std::string> numbered_names(int count) {
  std::vector<std::string> names;
  for (int n = 1; n <= count; ++n) names.push_back("Patch" + std::to_string(n));
  return names;
}

const std::string kEnd = "\n\n\n";  // the extraction's and the exit handler's line breaks
const std::string kCannotWrite = " - Cannot write KA1 file!";

// Builders for the rows below, each of one kind of run.

// Full, then Old over the older Old.KA1; the run ends with status 0, every
// patch but those `whole` reported as not written.
DisturbedCase full_and_old(const char* what, const RunOptions& options,
                           std::vector<std::string> whole = {"Full", "Old"}) {
  DisturbedCase c{.what = what, .names = {"Full", "Old"}, .options = options, .status = 0,
                  .signal = 0, .whole = whole};
  for (const std::string& name : c.names) {
    const bool written = std::find(whole.begin(), whole.end(), name) != whole.end();
    c.progress += "\n" + name + ".KA1" + (written ? "" : kCannotWrite);
  }
  c.progress += kEnd;
  return c;
}

// Full alone, written whole, beside other runs' temporary files (from
// `options`, which it must keep) or dead runs' `leftovers` (which it must
// remove).
DisturbedCase full_alone(const char* what, const RunOptions& options,
                         std::vector<std::string> leftovers = {}) {
  return {.what = what, .names = {"Full"}, .options = options,
          .progress = "\nFull.KA1" + kEnd, .status = 0, .signal = 0, .whole = {"Full"},
          .leftovers = leftovers};
}

// A run that `signal` ends, having printed `progress` (where it is not lost).
DisturbedCase stopped(const char* what, std::vector<std::string> names, const RunOptions& options,
                      int signal, std::string progress = "", std::vector<std::string> whole = {}) {
  return {.what = what, .names = names, .options = options, .progress = progress,
          .status = -1, .signal = signal, .whole = whole};
}

// A full bank of 128 patches, each whole at the end; `status` as the run
// ends, its output not checked.
DisturbedCase full_bank(const char* what, const RunOptions& options, int status) {
  return {.what = what, .names = numbered_names(128), .options = options, .status = status,
          .signal = 0, .whole = numbered_names(128)};
}

// A run of one patch, Old, that replaces the older Old.KA1 with its own
// bytes.
DisturbedCase replacing_old(DisturbedCase c) {
  c.names = {"Old"};
  c.progress = "\nOld.KA1" + kEnd;
  c.whole = {"Old"};
  return c;
}

// Unnamed temporary files are missing, as on FAT.
const Fault kNoUnnamedFiles{.call = "tmpfile", .error = EOPNOTSUPP};
const std::string kLastFlushFailed = "\nFull.KA1\nOld.KA1\n\nCannot write KA1 files to the disk.\n";

INSTANTIATE_TEST_SUITE_P(
    Runs, ExtractDisturbed,
    testing::Values(
        // A failed write is reported and removed, and the run goes on; a file
        // from an earlier run is overwritten.
        full_and_old("write fails half way", {.file_size_limit = 4096}, {"Old"}),
        on_path(WritePath::kUnnamed,
                full_and_old("the disk refuses the data",
                             {.faults = {{.call = "sync_file_range", .error = EIO}}}, {"Old"})),
        on_path(WritePath::kNamed,
                full_and_old("the disk refuses the data, named path",
                             {.faults = {{.call = "fsync", .error = EIO}}}, {"Old"})),
        // A short write is followed by the rest, not taken for the whole.
        full_and_old("short write", {.faults = {{.call = "write"}}}),
        // The files are written, but the flush that puts them on the disk
        // fails: no success then.
        on_path(WritePath::kUnnamed,
                DisturbedCase{"the last flush fails", {"Full", "Old"},
                              {.faults = {{.call = "fsync", .error = EIO}}}, kLastFlushFailed, 1,
                              0, {"Full", "Old"}}),
        // The named path's third fsync: after one for each file.
        on_path(WritePath::kNamed,
                DisturbedCase{"the last flush fails, named path", {"Full", "Old"},
                              {.faults = {{.call = "fsync", .at = 3, .error = EIO}}},
                              kLastFlushFailed, 1, 0, {"Full", "Old"}}),
        // Each stop signal removes the temporary file that replaces Old.KA1
        // (on the named path, Full.KA1 is then already whole).
        on_path(WritePath::kUnnamed,
                stopped("stopped in the middle of a write", {"Full", "Old"},
                        {.faults = {{.call = "write", .at = 2, .signal = SIGTERM}}}, SIGTERM)),
        on_path(WritePath::kNamed,
                stopped("stopped in the middle of a write, named path", {"Full", "Old"},
                        {.faults = {{.call = "write", .at = 2, .signal = SIGTERM}}}, SIGTERM, "",
                        {"Full"})),
        // Nothing of a redirected log is lost: all up to the name of the
        // file in flight, written out before the file gets it.
        stopped("terminated before a rename", {"Old", "Full"},
                {.faults = {{.call = "renameat", .signal = SIGTERM}}}, SIGTERM, "\nOld.KA1"),
        stopped("interrupted before a rename", {"Old", "Full"},
                {.faults = {{.call = "renameat", .signal = SIGINT}}}, SIGINT, "\nOld.KA1"),
        stopped("hung up before a rename", {"Old", "Full"},
                {.faults = {{.call = "renameat", .signal = SIGHUP}}}, SIGHUP, "\nOld.KA1"),
        // Started under nohup, a hang-up does not stop the run.
        full_and_old("hang-up ignored",
                     {.faults = {{.call = "renameat", .signal = SIGHUP}}, .ignore_hangup = true}),
        // Where the file system has no unnamed files, named ones do.
        full_and_old("no unnamed files", {.faults = {kNoUnnamedFiles}}),
        stopped("no unnamed files, stopped in a write", {"Full", "Old"},
                {.faults = {kNoUnnamedFiles, {.call = "write", .signal = SIGTERM}}}, SIGTERM),
        // A live run's temporary file of the very name this run would take.
        full_and_old("live temporary file of the same name",
                     {.temps_in = "OUT", .temps = {{TempFile::kSame, true}}}),
        full_and_old("live temporary file, no unnamed files",
                     {.faults = {kNoUnnamedFiles}, .temps_in = "OUT",
                      .temps = {{TempFile::kSame, true}}}),
        // A run's file is left alone while its lock is held, even where its
        // process cannot be seen, and while its process lives, even unlocked.
        full_alone("locked temporary file of a run elsewhere",
                   {.temps_in = "OUT", .temps = {{TempFile::kGone, true}}}),
        full_alone("unlocked temporary file of a live run",
                   {.temps_in = "OUT", .temps = {{TempFile::kParent, false}}}),
        // What killed runs left is removed: no process has that number, or
        // this run has it now, and nobody holds their locks.
        full_alone("leftovers of dead runs", {},
                   {"vortrim-incomplete-4194305-1.tmp", "vortrim-incomplete-x.tmp"}),
        full_and_old("leftover under this run's number",
                     {.faults = {kNoUnnamedFiles}, .temps_in = "OUT",
                      .temps = {{TempFile::kSame, false}}}),
        // Killed while stuck on its output, half way through naming the
        // files (where exactly depends on the host's output buffer).
        DisturbedCase{"killed while stuck on its output", numbered_names(128),
                      {.stdout = Stdout::kStalled}, "", -1, SIGKILL, numbered_names(128), {}, true},
        // Another run into the folder while this one is stuck half way: it
        // removes nothing of this run's (its files are held open), and both
        // write every file whole.
        [] {
          DisturbedCase c = full_bank("a second run while the first is stuck on its output",
                                      {.stdout = Stdout::kStalled}, 0);
          c.second_run = true;
          return c;
        }(),
        // Output that could not be written for a while is lost, even if the
        // last flush goes through: status 1.
        full_bank("standard output full for a while",
                  {.stdout = Stdout::kClogged,
                   .faults = {{.call = "write", .at = 64, .signal = SIGSTOP}}},
                  1),
        // On a terminal the name of the file in flight is shown before its
        // result.
        DisturbedCase{"on a terminal", {"Old", "Full"},
                      {.stdout = Stdout::kTerminal,
                       .faults = {{.call = "renameat", .signal = SIGSTOP}}},
                      "\nOld.KA1\nFull.KA1" + kEnd, 0, 0, {"Full", "Old"}, {}, false,
                      "\nOld.KA1"},
        // The wait for the disk before a name fails: the file gets no name.
        on_path(WritePath::kUnnamed,
                full_and_old("the disk refuses the data before the name",
                             {.faults = {{.call = "sync_file_range", .at = 3, .error = EIO}}},
                             {"Old"})),
        on_path(WritePath::kUnnamed,
                full_and_old("no unnamed files, the disk refuses the data",
                             {.faults = {kNoUnnamedFiles, {.call = "sync_file_range", .error = EIO}}},
                             {"Old"})),
        // Kernels before 6.10 let only root link a descriptor: others link
        // it through /proc, and no named temporary file (which SIGKILL would
        // leave) is needed.
        on_path(WritePath::kUnnamed,
                DisturbedCase{"descriptor linked through /proc", {"Full", "New"},
                              {.faults = {{.call = "linkat-fd", .at = kEveryCall, .error = ENOENT},
                                          {.call = "renameat", .signal = SIGKILL}}},
                              "\nFull.KA1\nNew.KA1" + kEnd, 0, 0, {"Full", "New"}}),
        // Started with a soft limit of 64 open files, the run raises it: a
        // full bank's files are all held open.
        full_bank("few open files allowed", {.open_files = 64}, 0),
        // The owner's write bit decides for the owner; root may write anything.
        DisturbedCase{.what = "read-only file of a plain user's own",
                      .names = {"Old"},
                      .options = {.user = User::kPlain},
                      .progress = "\nOld.KA1" + kCannotOpen + kEnd,
                      .status = 0,
                      .signal = 0,
                      .whole = {},
                      .old_mode = 0400,
                      .old_owner = User::kPlain},
        replacing_old({.what = "read-only file replaced by root", .old_mode = 0400}),
        // A replaced file keeps what its owner chose: its permission bits
        // (never readable by more than before) and, where the running user
        // may give it, its owner.
        replacing_old({.what = "replaced file keeps its permission bits", .old_mode = 0600}),
        replacing_old({.what = "a plain user's file replaced by root keeps its owner",
                       .old_mode = 0640,
                       .old_owner = User::kPlain}),
        replacing_old({.what = "replaced hidden file stays hidden", .old_hidden = true}),
        on_path(WritePath::kUnnamed,
                replacing_old({.what = "no unnamed files, replaced file keeps its bits and owner",
                               .options = {.faults = {kNoUnnamedFiles}},
                               .old_mode = 0600,
                               .old_owner = User::kPlain})),
        // Another user's live run: its process cannot be signalled (EPERM),
        // and its file stays.
        full_alone("unlocked temporary file of another user's live run",
                   {.user = User::kPlain, .temps_in = "OUT",
                    .temps = {{TempFile::kParent, false}}}),
        // A file's line shows its name's control bytes as "?" on a
        // terminal; the file has the name as it is.
        DisturbedCase{"control bytes on a terminal", {"\x1b]0;Hi\x07", "Two\nLine"},
                      {.stdout = Stdout::kTerminal},
                      "\n?]0;Hi?.KA1\nTwo?Line.KA1" + kEnd, 0, 0,
                      {"\x1b]0;Hi\x07", "Two\nLine"}},
        // Output that goes away (`| head -1`) stops no extraction; the run
        // reports the lost output with status 1.
        full_bank("standard output gone", {.stdout = Stdout::kGone}, 1)),
    NameByWhat());

// What a power cut leaves: runs on an ext4 disk of their own (a file on a
// loop device), killed before their Kth call of the write path; then another
// program syncs a file of its own on that disk, so the journal commits what
// the run did, and a copy of the disk is mounted, replaying the journal as
// after a power cut. On the copy each patch file must hold the older file's
// bytes or the patch's, whole; a temporary file may be left only where one
// replaced an older file, and the next run must remove it. Needs root, a
// loop device, mkfs.ext4 and mount; skipped where any is missing.
enum class Crash {
  kKilled,   // killed before the Kth call, for every K the run reaches
  kEnded,    // a whole run, the disk copied the moment it ends
  kTwoRuns,  // a second run into the folder while the first is stopped
  // The same, the second run in a PID namespace of its own, where the first
  // run's process cannot be seen, as from another machine.
  kTwoRunsApart,
};

struct CrashCase {
  const char* what;
  Crash crash;
  int patches;
  bool earlier;      // the folder holds older files of the same names
  std::string call;  // kKilled: the call before which the run dies
  std::string file_system = "ext4";
  WritePath path = WritePath::kEither;
  User user = User::kSame;  // who runs the program
};

class ExtractCrash : public testing::TestWithParam<CrashCase> {};

const std::string kTempPrefix = "vortrim-incomplete-";

// What a folder holds after a crash.
struct Judged {
  std::size_t patches = 0;  // patch files, each old or new and whole
  int temporaries = 0;
};

// Judges the files in `out`: each holds `older` (if given) or the new patch,
// whole; nothing else is there but, with `leftovers`, temporary files.
Judged judge(const fs::path& out, const std::vector<TestPatch>& patches,
             const std::vector<std::vector<unsigned char>>& older, bool leftovers) {
  Judged judged;
  for (const auto& [name, bytes] : files_under(out)) {
    if (name.starts_with(kTempPrefix)) {
      EXPECT_TRUE(leftovers) << name << " left behind";
      ++judged.temporaries;
      continue;
    }
    const auto patch = std::find_if(patches.begin(), patches.end(), [&](const TestPatch& p) {
      return name == p.name + ".KA1";
    });
    if (patch == patches.end()) {
      ADD_FAILURE() << "unexpected " << name;
      continue;
    }
    ++judged.patches;
    const std::size_t i = static_cast<std::size_t>(patch - patches.begin());
    EXPECT_TRUE(bytes == patch_bytes(*patch) || (!older.empty() && bytes == older[i]))
        << name << ": " << bytes.size() << " bytes, neither the older file nor the patch";
  }
  // A file that was there before is never lost.
  if (!older.empty()) {
    EXPECT_EQ(judged.patches, patches.size());
  }
  return judged;
}

TEST_P(ExtractCrash, LeavesOldOrNewFilesWhole) {
  const CrashCase& c = GetParam();
  if (!runs_natively()) GTEST_SKIP() << "the faults need the Linux build";
  if (other_path(c.path)) GTEST_SKIP() << "for the other write path";
  if (c.user == User::kPlain && !plain_user_available()) {
    GTEST_SKIP() << "needs root, and a plain user";
  }
  const ScratchDir dir;
  fs::permissions(dir.path, fs::perms::all);
  const LoopDisk disk(dir.path, c.file_system);
  if (!disk.ready()) {
    GTEST_SKIP() << "needs root, a loop device (or fusefat and /dev/fuse), mkfs."
                 << c.file_system << " and mount";
  }
  TestBank bank;
  std::vector<std::vector<unsigned char>> older;
  for (int i = 0; i < c.patches; ++i) {
    bank.patches.push_back({.slot = i, .name = "Patch" + std::to_string(i + 1),
                            .sources = 1 + i % 6, .kits = i % 3 == 0 ? "A" : ""});
    if (c.earlier) older.push_back(std::vector<unsigned char>(100 + 37 * i, 0xEE));
  }
  ASSERT_TRUE(write_bytes((dir.path / "BANK.KAA").string(), build_bank(bank)));
  const fs::path out = disk.mounted() / "OUT";
  const std::vector<std::string> args{"-iBANK.KAA", "-l", "-e" + out.string()};
  const auto prepare = [&] {
    fs::remove_all(out);
    fs::create_directory(out);
    for (std::size_t i = 0; i < older.size(); ++i) {
      const fs::path file = out / (bank.patches[i].name + ".KA1");
      ASSERT_TRUE(write_bytes(file.string(), older[i]));
      if (c.user == User::kPlain) {
        ASSERT_EQ(chown(file.c_str(), kPlainUid, kPlainGid), 0);
      }
    }
    if (c.user == User::kPlain) {
      ASSERT_EQ(chown(out.c_str(), kPlainUid, kPlainGid), 0);
    }
    ASSERT_TRUE(disk.sync());
  };
  const RunOptions as_user{.user = c.user};

  if (c.crash == Crash::kEnded) {
    prepare();
    const long before = disk.flushes();
    EXPECT_EQ(run_program(args, dir.path, as_user).status, 0);
    const long flushes = disk.flushes() - before;
    LoopDisk::Copy copy;
    disk.copy_to(dir.path, copy);
    ASSERT_TRUE(copy.ready);
    EXPECT_EQ(judge(copy.mounted / "OUT", bank.patches, {}, false).patches, bank.patches.size());
    if (c.file_system == "vfat") return;  // a FUSE program's disk: no device
    std::cout << "device flushes in the run: " << flushes << "\n";
    if (before < 0) GTEST_SKIP() << "the kernel does not count device flushes";
    // The named path flushes each file before its name: fsync, on ext4 a
    // flush of the data and one of the journal.
    EXPECT_LE(flushes, portable_posix() ? 2 * c.patches + 16 : 4);
    return;
  }

  if (c.crash == Crash::kTwoRuns || c.crash == Crash::kTwoRunsApart) {
    // The first run stops half way; meanwhile two others write the whole
    // folder, the first of them freeing the first run's files, the second
    // free to be given their numbers. Apart, one other run, which must
    // leave the first's locked temporary file alone.
    const bool apart = c.crash == Crash::kTwoRunsApart;
    prepare();
    const RunOptions first{.faults = {{.call = c.call, .at = c.patches / 2, .signal = SIGSTOP}},
                           .while_stopped = [&] {
                             EXPECT_EQ(run_program(args, dir.path, {.own_pid_namespace = apart})
                                           .status,
                                       0);
                             if (!apart) {
                               EXPECT_EQ(run_program(args, dir.path).status, 0);
                             }
                           }};
    const RunResult r = run_program(args, dir.path, first);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.find('~'), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Cannot"), std::string::npos) << r.out;
    EXPECT_EQ(judge(out, bank.patches, {}, false).patches, bank.patches.size());
    return;
  }

  int judged = 0;
  for (int k = 1;; ++k) {
    SCOPED_TRACE("killed before " + c.call + " " + std::to_string(k));
    prepare();
    const RunResult r = run_program(
        args, dir.path, {.faults = {{.call = c.call, .at = k, .signal = SIGKILL}}, .user = c.user});
    if (r.status == 0) break;  // the run never reached its Kth call
    ASSERT_EQ(r.signal, SIGKILL);
    ASSERT_TRUE(disk.commit());
    LoopDisk::Copy copy;
    disk.copy_to(dir.path, copy);
    ASSERT_TRUE(copy.ready);
    // A named temporary file is left where a file replaced an older one,
    // and on the named path (FAT has no unnamed files) wherever one was
    // being written.
    judge(copy.mounted / "OUT", bank.patches, older,
          c.earlier || portable_posix() || c.file_system == "vfat");
    // The next run into the folder removes what the killed one left.
    EXPECT_EQ(
        run_program({"-iBANK.KAA", "-e" + (copy.mounted / "OUT").string()}, dir.path, as_user)
            .status,
        0);
    const Judged after = judge(copy.mounted / "OUT", bank.patches, {}, false);
    EXPECT_EQ(after.patches, bank.patches.size());
    EXPECT_EQ(after.temporaries, 0);
    ++judged;
  }
  std::cout << "states judged: " << judged << "\n";
  EXPECT_GT(judged, 0);
}

// A run of 8 patches killed before each `call` it reaches, in turn.
CrashCase killed(const char* what, const std::string& call, bool earlier,
                 const std::string& file_system = "ext4", WritePath path = WritePath::kEither,
                 User user = User::kSame) {
  return {what, Crash::kKilled, 8, earlier, call, file_system, path, user};
}

// A whole run of a full bank, the disk copied the moment it ends.
CrashCase ended(const char* what, bool earlier, const std::string& file_system = "ext4",
                User user = User::kSame) {
  return {what, Crash::kEnded, 128, earlier, "", file_system, WritePath::kEither, user};
}

// Two runs into one folder, or (`apart`) runs that cannot see each other.
CrashCase two_runs(const char* what, Crash crash, int patches, bool earlier,
                   const std::string& call, WritePath path = WritePath::kEither) {
  return {what, crash, patches, earlier, call, "ext4", path};
}

INSTANTIATE_TEST_SUITE_P(
    PowerCut, ExtractCrash,
    testing::Values(
        killed("killed before a write", "write", false),
        killed("killed before a name", "linkat", false, "ext4", WritePath::kUnnamed),
        killed("killed before a name, named path", "renameat", false, "ext4", WritePath::kNamed),
        killed("killed before the flush", "fsync", false),
        killed("over older files, killed before a write", "write", true),
        killed("over older files, killed before a name", "linkat", true, "ext4",
               WritePath::kUnnamed),
        killed("over older files, killed before a rename", "renameat", true),
        killed("over older files, killed before the flush", "fsync", true),
        ended("a full bank, copied as the run ends", false),
        ended("a full bank over older files, copied as the run ends", true),
        // No journal: only a sync of the whole file system writes the names.
        ended("a full bank on ext2, copied as the run ends", false, "ext2"),
        two_runs("two runs into one folder", Crash::kTwoRuns, 128, false, "linkat",
                 WritePath::kUnnamed),
        two_runs("two runs into one folder, named path", Crash::kTwoRuns, 128, false, "renameat",
                 WritePath::kNamed),
        two_runs("a replacing run's file seen from another PID namespace", Crash::kTwoRunsApart,
                 8, true, "renameat"),
        // Other file systems people extract onto, and a plain user.
        killed("on XFS, killed before a name", "linkat", false, "xfs", WritePath::kUnnamed),
        killed("on XFS over older files, killed before a rename", "renameat", true, "xfs"),
        ended("a full bank on XFS, copied as the run ends", false, "xfs"),
        killed("on btrfs, killed before a name", "linkat", false, "btrfs", WritePath::kUnnamed),
        ended("a full bank on btrfs, copied as the run ends", false, "btrfs"),
        ended("a full bank on btrfs over older files, copied as the run ends", true, "btrfs"),
        // FAT32 through fusefat: no unnamed files, every file named through a
        // temporary one.
        killed("on FAT32, killed before a write", "write", false, "vfat"),
        killed("on FAT32 over older files, killed before a rename", "renameat", true, "vfat"),
        ended("a full bank on FAT32, copied as the run ends", false, "vfat"),
        killed("as a plain user, killed before a name", "linkat", false, "ext4",
               WritePath::kUnnamed, User::kPlain),
        ended("a full bank as a plain user over older files, copied as the run ends", true,
              "ext4", User::kPlain)),
    NameByWhat());

}  // namespace
