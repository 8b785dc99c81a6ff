// Feeds arbitrary bytes as a bank file through the loader, the report with
// the listing, and the extraction, and checks what must hold for any input:
//
// - a bank is refused for one of the kinds of refusal, or loaded with every
//   stored patch inside the bytes that the input really holds;
// - the listing has exactly one line per stored patch;
// - every patch is written, byte for byte as it stands in the input, into a
//   file directly inside the scratch directory, and nothing lands anywhere
//   else;
// - the page names every patch, each with a name of its own that Windows
//   takes.
//
// The scratch directory lives under /dev/shm where there is one, so that
// millions of runs do not wear a disk; it is emptied after every input.

#include <stdio.h>
#include <unistd.h>

#include <algorithm>
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
#include "core/messages.h"
#include "core/naming.h"
#include "core/report.h"
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

std::vector<unsigned char> file_bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
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
  if (!loaded) {
    check(is_refusal(why), "unknown refusal");
    return 0;
  }

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
      captured([](FILE* out) { print_report(out, image, "FUZZ.KAA", true); });
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

  // The page's .zip: no patch left out, no two names alike, none that
  // Windows would refuse for its characters.
  PatchNames page_names;
  page_names.rules = NameRules::kPage;
  std::set<std::string> page_files;
  for (int i = 0; i < image.count; ++i) {
    const PatchFileName name = patch_file_name(page_names, stored_patch(image, i));
    check(name.refused == nullptr, "the page left a patch out");
    check(page_files.insert(name.file).second, "two of the page's files have one name");
    check(name.file.find_first_of("<>:\"|?*/\\") == std::string::npos &&
              std::none_of(name.file.begin(), name.file.end(),
                           [](char c) { return static_cast<unsigned char>(c) < 0x20; }),
          "a page's file name that Windows refuses");
  }
  return 0;
}
