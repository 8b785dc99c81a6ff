#include "output/extract.h"

#include <vector>

#include "output/patch_file.h"
#include "output/report.h"

namespace {

char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }

std::string ascii_lower(std::string s) {
  for (char& c : s) c = ascii_lower(c);
  return s;
}

// Short names as the instrument's floppy drive reads them.
constexpr std::size_t kMaxStemLength = 8;

// Whether this host would send the stem's file to a device or a hidden
// stream instead of a plain file.
bool refused_by_host([[maybe_unused]] const std::string& stem) {
#ifdef _WIN32
  return is_windows_device_or_stream(stem);
#else
  return false;
#endif
}

}  // namespace

std::string destination_path(const std::string& value, char separator) {
  if (value.empty() || value.back() != separator) return value + separator;
  return value;
}

std::string make_stem(const char* name) {
  std::string stem(name, name_length(name));
  // Only a full 8-byte name is space padded.
  if (stem.size() == kNameLength) {
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  }
  for (char& c : stem) {
    if (c == '/' || c == '\\') c = '_';
  }
  return stem;
}

std::string unique_stem(const std::string& stem, std::set<std::string>& used,
                        const std::function<bool(const std::string&)>& taken) {
  std::string candidate = stem;
  for (int n = 2; used.count(ascii_lower(candidate)) > 0 || (taken && taken(candidate)); ++n) {
    // Appended rather than "~" + ..., which trips a false -Wrestrict in g++ 12.
    std::string suffix(1, '~');
    suffix += std::to_string(n);
    candidate = stem.substr(0, kMaxStemLength - suffix.size()) + suffix;
  }
  used.insert(ascii_lower(candidate));
  return candidate;
}

bool is_windows_device_or_stream(const std::string& stem) {
  if (stem.find(':') != std::string::npos) return true;
  // Windows looks for a device name in the part before the first dot, with
  // trailing spaces dropped: "nul.KA1" and "NUL .a" are the device too.
  std::string base = ascii_lower(stem.substr(0, stem.find('.')));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  if (base == "con" || base == "prn" || base == "aux" || base == "nul") {
    return true;
  }
  if (base.size() != 4 || (base.compare(0, 3, "com") != 0 && base.compare(0, 3, "lpt") != 0)) {
    return false;
  }
  // Digits, and the superscripts one to three of the ANSI code page.
  const unsigned char n = static_cast<unsigned char>(base[3]);
  return (n >= '0' && n <= '9') || n == 0xB9 || n == 0xB2 || n == 0xB3;
}

bool extract_patches(std::FILE* out, const BankImage& image,
                     const std::string& destination, bool terminal) {
  const std::string dir = destination_path(destination);
  std::fprintf(out, "\nExtracting to path \"%s\"...", dir.c_str());
  PatchFolder folder = open_patch_folder(dir);
  // Every patch is on its way to the disk before the first is named: the
  // disk writes them meanwhile instead of being waited for one by one.
  std::vector<StagedFile> staged;
  for (int i = 0; i < image.count; ++i) {
    const PatchEntry& e = stored_patch(image, i);
    // The loader guarantees that the patch lies within the data read.
    staged.push_back(
        stage_patch_file(folder, &image.data[e.offset], static_cast<std::size_t>(e.size)));
  }
  // A stem is taken if its file leads to one this run wrote.
  std::set<std::string> used;
  const auto taken = [&](const std::string& stem) {
    return leads_to_written(folder, stem + ".KA1");
  };
  for (int i = 0; i < image.count; ++i) {
    const PatchEntry& e = stored_patch(image, i);
    const std::string stem = unique_stem(make_stem(e.name.data()), used, taken);
    std::string shown = stem;
    if (terminal) mask_control_bytes(shown.data(), shown.size());
    std::fprintf(out, "\n%s.KA1", shown.c_str());
    StagedFile& file = staged[static_cast<std::size_t>(i)];
    const WriteResult result = refused_by_host(stem) ? WriteResult::kCannotOpen
                                                     : name_patch_file(folder, file, stem + ".KA1");
    switch (result) {
      case WriteResult::kWritten:
        break;
      case WriteResult::kCannotOpen:
        std::fprintf(out, " - Cannot open KA1 file! (Patch name may be incompatible.)");
        break;
      case WriteResult::kCannotWrite:
        std::fprintf(out, " - Cannot write KA1 file!");
        break;
    }
  }
  const bool on_disk = close_patch_folder(folder);
  std::fprintf(out, "\n");
  return on_disk;
}
