#include "output/extract.h"

namespace {

char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }

std::string ascii_lower(std::string s) {
  for (char& c : s) c = ascii_lower(c);
  return s;
}

// Short names as the instrument's floppy drive reads them.
constexpr std::size_t kMaxStemLength = 8;

enum class WriteResult { kWritten, kCannotOpen, kCannotWrite };

// Writes `size` bytes to dir + stem + ".KA1".
WriteResult write_patch(const std::string& dir, const std::string& stem,
                        const unsigned char* bytes, std::size_t size) {
#ifdef _WIN32
  // These names would reach a device or a hidden stream, not a file.
  if (is_windows_device_or_stream(stem)) return WriteResult::kCannotOpen;
#endif
  const std::string path = dir + stem + ".KA1";
  std::FILE* f = std::fopen(path.c_str(), "wb+");
  if (f == nullptr) return WriteResult::kCannotOpen;
  const bool written = std::fwrite(bytes, 1, size, f) == size;
  const bool closed = std::fclose(f) == 0;
  if (written && closed) return WriteResult::kWritten;
  // A half-written patch looks whole to the instrument; remove it.
  std::remove(path.c_str());
  return WriteResult::kCannotWrite;
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

std::string unique_stem(const std::string& stem, std::set<std::string>& used) {
  std::string candidate = stem;
  for (int n = 2; !used.insert(ascii_lower(candidate)).second; ++n) {
    // Appended rather than "~" + ..., which trips a false -Wrestrict in g++ 12.
    std::string suffix(1, '~');
    suffix += std::to_string(n);
    candidate = stem.substr(0, kMaxStemLength - suffix.size()) + suffix;
  }
  return candidate;
}

bool is_windows_device_or_stream(const std::string& stem) {
  if (stem.find(':') != std::string::npos) return true;
  // Windows drops trailing spaces and dots before it looks for devices.
  std::string base = ascii_lower(stem);
  while (!base.empty() && (base.back() == ' ' || base.back() == '.')) {
    base.pop_back();
  }
  if (base == "con" || base == "prn" || base == "aux" || base == "nul") {
    return true;
  }
  return base.size() == 4 &&
         (base.compare(0, 3, "com") == 0 || base.compare(0, 3, "lpt") == 0) &&
         base[3] >= '1' && base[3] <= '9';
}

void extract_patches(std::FILE* out, const BankImage& image,
                     const std::string& destination) {
  const std::string dir = destination_path(destination);
  std::fprintf(out, "\nExtracting to path \"%s\"...", dir.c_str());
  std::set<std::string> used;
  for (int i = 0; i < image.count; ++i) {
    const PatchEntry& e = stored_patch(image, i);
    const std::string stem = unique_stem(make_stem(e.name.data()), used);
    std::fprintf(out, "\n%s.KA1", stem.c_str());
    // The loader guarantees that the patch lies within the data read.
    switch (write_patch(dir, stem, &image.data[e.offset],
                        static_cast<std::size_t>(e.size))) {
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
  std::fprintf(out, "\n");
}
