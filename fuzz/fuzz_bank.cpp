// Feeds arbitrary bytes as a bank file through the loader, the report with
// the listing, and the extraction, and as a .syx file through its reader,
// and checks what must hold for any input:
//
// - a bank is refused for one of the kinds of refusal, or loaded with every
//   stored patch inside the bytes that the input really holds;
// - the listing has exactly one line per stored patch;
// - read as a .syx file, it is refused for one of the kinds of refusal, or
//   read with each patch as long as its sources make it, and the bank's
//   block dump reads back as the same patches;
// - every patch is written, byte for byte as it stands in the input, into a
//   file directly inside the scratch directory, and nothing lands anywhere
//   else;
// - the page reads it as the loader does, names every patch, each with a
//   name that Windows takes and that Windows does not take for another of
//   the bank's (its case fold, not equal bytes), and gives its folder,
//   named here after its patches, parts that Windows takes, and another
//   bank of that path a folder of its own.
//
// The scratch directory lives under /dev/shm where there is one, so that
// millions of runs do not wear a disk; it is emptied after every input.

#include <stdio.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "core/bank_image.h"
#include "core/collection.h"
#include "core/messages.h"
#include "core/naming.h"
#include "core/report.h"
#include "core/sysex.h"
#include "core/windows_fold.h"
#include "os/extract.h"

namespace fs = std::filesystem;

namespace {

[[noreturn]] void fail(const char* what) {
  std::printf("invariant broken: %s\n", what);
  std::fflush(stdout);
  std::abort();
}

void check(bool ok, const char* what) {
  if (!ok) fail(what);
}

// A refusal of a kind the loader knows, naming a patch where it should.
bool is_refusal(const BankRefusal& why) {
  switch (why.kind) {
    case Refusal::kReadError:
    case Refusal::kTooShort:
    case Refusal::kOutside:
      return true;
    case Refusal::kTooManySources:
      return why.patch >= 1 && why.patch <= 128 && static_cast<std::size_t>(why.sources) > kMaxSources;
    case Refusal::kCutOff:
      return why.patch >= 1 && why.patch <= 128;
    case Refusal::kNoSysEx:
    case Refusal::kOtherMaker:
    case Refusal::kNoPatch:
      return true;
    case Refusal::kNoEnd:
    case Refusal::kNotData:
      return why.message >= 1;
    case Refusal::kSingleLength:
      return why.message >= 1 && why.patch >= 1 && why.patch <= 128 &&
             (why.value != why.expected || why.expected == 0);
    case Refusal::kBlockLength:
      return why.message >= 1 && why.value != why.expected;
    case Refusal::kTooManyPatches:
    case Refusal::kTooLarge:
      return why.value > why.expected;
    case Refusal::kNone:
      break;
  }
  return false;
}

// The directory the extraction may write to, inside a root that must hold
// nothing else.
const fs::path& scratch_root() {
  static const fs::path root = [] {
    const fs::path base = fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
    std::string pattern = (base / "vortrim-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) fail("mkdtemp");
    fs::create_directory(fs::path(pattern) / "out");
    return fs::path(pattern);
  }();
  static const bool cleaned_at_exit = std::atexit([] {
    std::error_code ec;
    fs::remove_all(scratch_root(), ec);
  }) == 0;
  (void)cleaned_at_exit;
  return root;
}

std::string captured(const std::function<void(FILE*)>& print) {
  char* text = nullptr;
  size_t length = 0;
  FILE* out = open_memstream(&text, &length);
  if (out == nullptr) fail("open_memstream");
  print(out);
  std::fclose(out);
  std::string result(text, length);
  std::free(text);
  return result;
}

// Whether Windows takes `name` as a file or folder name, as it is: none of
// the characters it refuses, no dot or space at its end, no device name
// before its first dot (ASCII, or with a superscript 1 to 3 in UTF-8).
bool windows_takes(const std::string& name) {
  if (name.empty() || name.back() == '.' || name.back() == ' ') return false;
  if (name.find_first_of("<>:\"|?*/\\") != std::string::npos ||
      std::any_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; })) {
    return false;
  }
  std::string base = name.substr(0, name.find('.'));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (char& c : base) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const char* device : {"con", "prn", "aux", "nul"}) {
    if (base == device) return false;
  }
  const std::string port = base.substr(0, 3);
  const std::string number = base.size() > 3 ? base.substr(3) : "";
  return !((port == "com" || port == "lpt") &&
           ((number.size() == 1 && std::isdigit(static_cast<unsigned char>(number[0]))) ||
            number == "\xC2\xB9" || number == "\xC2\xB2" || number == "\xC2\xB3"));
}

// The page's reading of the same input: as the loader read it, each file
// of the bank's folder taken by Windows and not taken for another, and its
// folder, named after the first patches, made of parts Windows takes.
void check_the_page(const std::uint8_t* bytes, std::size_t size, const BankImage& image,
                    bool loaded, const BankRefusal& why) {
  static BankImage scratch;
  std::string path;
  for (int i = 0; i < std::min(image.count, 3) && loaded; ++i) {
    path += windows_1252_to_utf8(std::string(stored_patch(image, i).name.data(), kNameLength)) + "/";
  }
  path += "FUZZ.KAA";
  Collection collection;
  const CollectedBank& bank = collection.banks[add_bank(collection, scratch, path, bytes, size, size)];
  check(bank.loaded == loaded, "the page and the loader disagree");
  if (!loaded) {
    check(bank.message == bank_refusal(path, why), "the page refuses with other words");
    return;
  }
  check(bank.patches.size() == static_cast<std::size_t>(image.count), "the page left a patch out");
  std::set<std::string> folded;
  for (const CollectedPatch& p : bank.patches) {
    check(windows_takes(p.file), "a page's file name that Windows refuses");
    check(folded.insert(windows_folded(p.file)).second, "two of the page's files are one to Windows");
  }
  for (std::size_t start = 0, end = 0; end != std::string::npos; start = end + 1) {
    end = bank.folder.find('/', start);
    check(windows_takes(bank.folder.substr(start, end - start)), "a folder name that Windows refuses");
  }
  const std::string again = bank_folder_path(collection.folders, path).path;
  check(windows_folded(again) != windows_folded(bank.folder), "two banks' folders are one to Windows");
}

std::vector<unsigned char> file_bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The loaded bank as the program shows and writes it.
void check_loaded_bank(const std::uint8_t* bytes, std::size_t size, const BankImage& image) {
  const std::size_t held = size - kHeaderSize;  // loading checked size >= header
  check(image.count >= 0 && image.count <= 128, "count");
  check(image.entries[kEndSentinel].offset <= kMemorySize, "end pointer");
  for (int i = 0; i < image.count; ++i) {
    const PatchEntry& e = stored_patch(image, i);
    check(e.size >= kPatchFixedSize && e.offset + static_cast<std::uint64_t>(e.size) <= held,
          "patch outside the input");
    check(std::memcmp(&image.data[e.offset], bytes + kHeaderSize + e.offset,
                      static_cast<std::size_t>(e.size)) == 0,
          "patch bytes differ from the input");
  }

  const std::string report =
      captured([&](FILE* out) { print_report(out, image, "FUZZ.KAA", true); });
  const std::string heading = kListingHeading;
  const std::size_t listing_at = report.find(heading);
  check(listing_at != std::string::npos, "no heading");
  const std::string listing = report.substr(listing_at + heading.size());
  check(listing.size() == kListingLineLength * static_cast<std::size_t>(image.count),
        "listing is not one line per patch");
  for (std::size_t at = kListingLineLength - 1; at < listing.size(); at += kListingLineLength) {
    check(listing[at] == '\n', "listing line");
  }

  const fs::path root = scratch_root();
  const fs::path out_dir = root / "out";
  captured([&](FILE* out) { extract_patches(out, image, out_dir.string()); });
  // Which file each patch should be in, by the names extraction uses.
  PatchNames names;
  std::set<fs::path> expected;
  for (int i = 0; i < image.count; ++i) {
    const PatchEntry& e = stored_patch(image, i);
    const fs::path file = out_dir / patch_file_name(names, e).file;
    check(file.parent_path() == out_dir, "a name leaves the directory");
    const std::vector<unsigned char> written = file_bytes(file);
    check(written.size() == static_cast<std::size_t>(e.size) &&
              std::memcmp(written.data(), bytes + kHeaderSize + e.offset, written.size()) == 0,
          "file bytes differ from the patch");
    expected.insert(file);
  }
  std::set<fs::path> found;
  for (const auto& entry : fs::directory_iterator(out_dir)) {
    check(entry.is_regular_file(), "something other than a file was made");
    found.insert(entry.path());
  }
  check(found == expected, "files other than the patches");
  check(std::distance(fs::directory_iterator(root), fs::directory_iterator()) == 1,
        "a file outside the destination");
  for (const fs::path& file : found) fs::remove(file);
}

// The same bytes as a .syx file: each patch as long as its sources make
// it, and the bank's block dump reads back as the same patches.
bool check_sysex(BankImage& image, const std::uint8_t* bytes, std::size_t size, BankRefusal* why) {
  SysExNotes notes;
  const bool loaded = load_sysex(image, bytes, size, why, &notes);
  check(loaded || is_refusal(*why), "unknown refusal of a .syx file");
  if (!loaded && why->kind != Refusal::kNoEnd) return false;
  std::vector<TonePatch> patches;
  for (int i = 0; i < image.count; ++i) {
    const PatchEntry& e = stored_patch(image, i);
    check(e.offset + static_cast<std::uint64_t>(e.size) <= kMemorySize &&
              patch_length_from_sources(&image.data[e.offset], static_cast<std::size_t>(e.size)) ==
                  static_cast<std::size_t>(e.size),
          "a .syx file's patch is not as long as its sources make it");
    patches.push_back({e.slot, &image.data[e.offset], static_cast<std::size_t>(e.size)});
  }
  if (!loaded) return false;
  const std::vector<unsigned char> dump = block_dump(DumpBank::kA, 0, patches);
  static BankImage again;
  BankRefusal again_why;
  check(load_sysex(again, dump.data(), dump.size(), &again_why, &notes) && again.count == image.count,
        "a .syx file written from what was read does not read back");
  for (int i = 0; i < image.count; ++i) {
    const PatchEntry& a = stored_patch(image, i);
    const PatchEntry& b = stored_patch(again, i);
    check(a.slot == b.slot && a.size == b.size &&
              std::memcmp(&image.data[a.offset], &again.data[b.offset], static_cast<std::size_t>(a.size)) == 0,
          "a .syx file written from what was read reads back other patches");
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  static BankImage image;
  // fmemopen refuses an empty buffer; an empty file is what it stands for.
  FILE* in = size == 0 ? std::fopen("/dev/null", "rb")
                       : fmemopen(const_cast<std::uint8_t*>(bytes), size, "rb");
  if (in == nullptr) fail("open input");
  BankRefusal why;
  const bool loaded = load_bank(image, in, &why);
  std::fclose(in);
  check(loaded || is_refusal(why), "unknown refusal");
  if (loaded) check_loaded_bank(bytes, size, image);
  static BankImage syx;
  BankRefusal syx_why;
  const bool syx_loaded = check_sysex(syx, bytes, size, &syx_why);
  // The page reads SysEx where the bytes start a message.
  if (starts_sysex(bytes, size)) {
    check_the_page(bytes, size, syx, syx_loaded, syx_why);
  } else {
    check_the_page(bytes, size, image, loaded, why);
  }
  return 0;
}
