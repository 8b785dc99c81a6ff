// Feeds arbitrary bytes as a bank file through the loader, the report with
// the listing, and the extraction, and checks what must hold for any input:
//
// - a bank is refused with one of the refusal messages, or loaded with every
//   stored patch inside the bytes that the input really holds;
// - the listing has exactly one line per stored patch;
// - every patch is written, byte for byte as it stands in the input, into a
//   file directly inside the scratch directory, and nothing lands anywhere
//   else.
//
// The scratch directory lives under /dev/shm where there is one, so that
// millions of runs do not wear a disk; it is emptied after every input.

#include <stdio.h>
#include <unistd.h>

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

#include "bank/bank_image.h"
#include "output/extract.h"
#include "output/naming.h"
#include "output/report.h"

namespace fs = std::filesystem;

namespace {

// Each line of the listing: " % 4d  %8s  %6s % 5d\n" with a slot number up to
// 128, a name of at most 8 bytes, a 6-letter map and a size up to 5434.
constexpr std::size_t kExpectedLineLength = 30;

[[noreturn]] void fail(const char* what) {
  std::printf("invariant broken: %s\n", what);
  std::fflush(stdout);
  std::abort();
}

void check(bool ok, const char* what) {
  if (!ok) fail(what);
}

bool starts_with(const std::string& s, const char* prefix) {
  return s.rfind(prefix, 0) == 0;
}

bool is_refusal(const std::string& err) {
  return err == "is not a K5000 bank: it is too short to be one." ||
         err == "is not a K5000 bank: its table points outside patch memory." ||
         (starts_with(err, "is damaged: patch ") &&
          err.ends_with(" sources, and a patch has at most 6.")) ||
         (starts_with(err, "is cut off: patch ") &&
          err.ends_with(" ends past the end of the file."));
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
  std::string err;
  const bool loaded = load_bank(image, in, &err);
  std::fclose(in);
  if (!loaded) {
    check(is_refusal(err), "unknown refusal");
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
  check(listing.size() == kExpectedLineLength * static_cast<std::size_t>(image.count),
        "listing is not one line per patch");
  for (std::size_t at = kExpectedLineLength - 1; at < listing.size(); at += kExpectedLineLength) {
    check(listing[at] == '\n', "listing line");
  }

  const fs::path root = scratch_root();
  const fs::path out_dir = root / "out";
  captured([&](FILE* out) { extract_patches(out, image, out_dir.string()); });
  // Which file each patch should be in, by the names extraction uses.
  std::set<std::string> used;
  std::set<fs::path> expected;
  for (int i = 0; i < image.count; ++i) {
    const PatchEntry& e = stored_patch(image, i);
    const fs::path file = out_dir / (unique_stem(make_stem(e.name.data()), used) + ".KA1");
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
  return 0;
}
