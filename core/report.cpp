#include "core/report.h"

#include <cstring>


namespace {

// Where each field of a listing line stands: the slot number and the size
// end before the given column, the name and the source map start at it.
constexpr std::size_t kSlotEnd = 5;    // "% 4d" after one blank
constexpr std::size_t kNameAt = 7;     // "%8s", right-aligned
constexpr std::size_t kMapAt = kNameAt + kNameLength + 2;  // "%6s"
constexpr std::size_t kSizeEnd = kListingLineLength - 1;   // "% 5d", then the line break

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
  put_number(line + kSlotEnd, 5, e.slot + 1);
  // The name up to its NUL, right-aligned.
  const std::size_t name = name_length(e.name.data());
  std::memcpy(line + kNameAt + (kNameLength - name), e.name.data(), name);
  std::memcpy(line + kMapAt, e.source_map.data(), kMaxSources);
  put_number(line + kSizeEnd, 6, e.size);
  line[kSizeEnd] = '\n';
}

unsigned percent_hundredths(std::uint32_t free) {
  // free * 10000 / 131072, exact in integers; adding half the divisor rounds
  // halves up, which for these non-negative values is away from zero.
  const std::uint64_t scaled = static_cast<std::uint64_t>(free) * 10000;
  return static_cast<unsigned>((scaled + kMemorySize / 2) / kMemorySize);
}

std::string summary_line(const BankImage& image, const std::string& input_name) {
  const std::uint32_t free = free_bytes(image);
  const unsigned hundredths = percent_hundredths(free);
  // "%2u.%02u", exactly as wide as "%5.2f" for 0.00 to 100.00, by hand.
  const unsigned whole = hundredths / 100, part = hundredths % 100;
  return "\"" + input_name + "\" contains " + std::to_string(image.count) + " patches. " +
         std::to_string(free) + " bytes (" + (whole < 10 ? " " : "") + std::to_string(whole) +
         (part < 10 ? ".0" : ".") + std::to_string(part) + "% of memory) free.\n";
}

std::string listing_text(const BankImage& image, bool terminal, NameText text) {
  // The lines are formatted by hand: printf would be most of the run's time.
  std::string listing(kListingHeading);
  listing.reserve(listing.size() + kSlotCount * kListingLineLength);
  char line[kListingLineLength];
  for (int i = 0; i < image.count; ++i) {
    const PatchEntry& e = stored_patch(image, i);
    format_listing_line(e, line);
    char* const name_end = line + kNameAt + kNameLength;
    if (terminal) mask_control_bytes(line + kNameAt, kNameLength);
    const std::size_t length = name_length(e.name.data());
    const std::string name(name_end - length, length);
    const std::string shown = text != nullptr ? text(name) : name;
    if (shown == name) {
      listing.append(line, kListingLineLength);
    } else {  // the host's text in the name's place, as far to the right
      listing.append(line, name_end - length).append(shown);
      listing.append(name_end, line + kListingLineLength);
    }
  }
  return listing;
}

void print_report(std::FILE* out, const BankImage& image, const std::string& input_name,
                  bool list, bool terminal, NameText text) {
  std::string report = summary_line(image, input_name);
  if (list) report += listing_text(image, terminal, text);
  std::fwrite(report.data(), 1, report.size(), out);
}
