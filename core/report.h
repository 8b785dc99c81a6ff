// The summary line that every completed run prints, and the patch listing.

#ifndef VORTRIM_CORE_REPORT_H
#define VORTRIM_CORE_REPORT_H

#include <cstdio>
#include <string>

#include "core/bank_image.h"
#include "core/naming.h"

// Free memory in hundredths of a per cent, rounded half away from zero on
// every host (printf rounds exact halves to even on some).
unsigned percent_hundredths(std::uint32_t free);

inline constexpr char kListingHeading[] = "number name     sources  size\n";

// One listing line is " % 4d  %8s  %6s % 5d\n" of the slot number (1 to
// 128), the name, the source map and the size (at most 5434): always 30
// bytes for a loaded bank. Writes exactly that many bytes to `line`.
inline constexpr std::size_t kListingLineLength = 30;
void format_listing_line(const PatchEntry& e, char* line);

// The summary line for the bank read from `input_name` (shown as given):
// "\"%s\" contains %d patches. %d bytes (%5.2f%% of memory) free.\n".
std::string summary_line(const BankImage& image, const std::string& input_name);

// The listing's heading and one line per stored patch in memory order, the
// names in `text` (null: their bytes); for a `terminal`, with the names'
// control bytes masked.
std::string listing_text(const BankImage& image, bool terminal = false, NameText text = nullptr);

// Prints the summary line and, with `list`, the listing.
void print_report(std::FILE* out, const BankImage& image, const std::string& input_name,
                  bool list, bool terminal = false, NameText text = nullptr);

#endif  // VORTRIM_CORE_REPORT_H
