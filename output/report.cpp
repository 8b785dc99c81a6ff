#include "output/report.h"

#include <cstring>

#include "output/host_text.h"

namespace {

// Writes the digits of `value` right-aligned into the `width` blanks that
// end at `end`, as printf's "% Nd" does for a non-negative value that fits
// with its leading blank.
void put_number(char* end, int width, int value) {
  char* p = end;
  do {
    *--p = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0 && p > end - width);
}

}  // namespace

void format_listing_line(const PatchEntry& e, char* line) {
  // Blanks first; the fields are written over them.
  std::memset(line, ' ', kListingLineLength);
  put_number(line + 5, 5, e.slot + 1);
  // "%8s": the name up to its NUL, right-aligned.
  const std::size_t name = name_length(e.name.data());
  std::memcpy(line + 7 + (kNameLength - name), e.name.data(), name);
  std::memcpy(line + 17, e.source_map.data(), kKitsPerSlot);
  put_number(line + 29, 6, e.size);
  line[29] = '\n';
}

unsigned percent_hundredths(std::uint32_t free) {
  // free * 10000 / 131072, exact in integers; adding half the divisor rounds
  // halves up, which for these non-negative values is away from zero.
  const std::uint64_t scaled = static_cast<std::uint64_t>(free) * 10000;
  return static_cast<unsigned>((scaled + kMemorySize / 2) / kMemorySize);
}

void mask_control_bytes(char* text, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7F) text[i] = '?';
  }
}

void print_report(std::FILE* out, const BankImage& image,
                  const std::string& input_name, bool list, bool terminal) {
  const std::uint32_t free = free_bytes(image);
  const unsigned hundredths = percent_hundredths(free);
  // "%2u.%02u" is exactly as wide as "%5.2f" for 0.00 to 100.00.
  std::fprintf(out,
               "\"%s\" contains %d patches. %u bytes (%2u.%02u%% of memory) free.\n",
               input_name.c_str(), image.count, free, hundredths / 100,
               hundredths % 100);
  if (list) print_listing(out, image, terminal);
}

void print_listing(std::FILE* out, const BankImage& image, bool terminal) {
  // The lines are formatted by hand and written at once: printf would be
  // most of the run's time.
  std::string listing(kListingHeading);
  listing.reserve(listing.size() + kSlotCount * kListingLineLength);
  char line[kListingLineLength];
  for (int i = 0; i < image.count; ++i) {
    const PatchEntry& e = stored_patch(image, i);
    format_listing_line(e, line);
    if (terminal) mask_control_bytes(line + 7, kNameLength);  // the name's columns
    const std::size_t length = name_length(e.name.data());
    const std::string name(line + 7 + kNameLength - length, length);
    const std::string text = host_text(name);
    if (text == name) {
      listing.append(line, kListingLineLength);
    } else {  // the host's text in the name's place, as far to the right
      listing.append(line, 7 + kNameLength - length).append(text);
      listing.append(line + 7 + kNameLength, kListingLineLength - 7 - kNameLength);
    }
  }
  std::fwrite(listing.data(), 1, listing.size(), out);
}
