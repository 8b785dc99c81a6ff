// The summary line that every completed run prints, and the patch listing.

#ifndef VORTRIM_OUTPUT_REPORT_H
#define VORTRIM_OUTPUT_REPORT_H

#include <cstdio>
#include <string>

#include "bank/bank_image.h"

// Free memory in hundredths of a per cent, rounded half away from zero on
// every host (printf rounds exact halves to even on some).
unsigned percent_hundredths(std::uint32_t free);

inline constexpr char kListingHeading[] = "number name     sources  size\n";

// One listing line is " % 4d  %8s  %6s % 5d\n" of the slot number (1 to
// 128), the name, the source map and the size (at most 5434): always 30
// bytes for a loaded bank. Writes exactly that many bytes to `line`.
inline constexpr std::size_t kListingLineLength = 30;
void format_listing_line(const PatchEntry& e, char* line);

// A terminal acts on control bytes (0x00 to 0x1F, 0x7F) instead of showing
// them: an escape sequence in a patch name could recolour the text, retitle
// the window or hide lines, a line break split a listing line. For a
// terminal each becomes "?" in `text`, as ls shows them.
void mask_control_bytes(char* text, std::size_t size);

// Prints the listing's heading and one line per stored patch in memory
// order; for a `terminal`, with the names' control bytes masked.
void print_listing(std::FILE* out, const BankImage& image, bool terminal = false);

// Prints the summary for the bank read from `input_name` (shown as given)
// and, with `list`, one line per stored patch in memory order; for a
// `terminal`, with the names' control bytes masked.
void print_report(std::FILE* out, const BankImage& image,
                  const std::string& input_name, bool list, bool terminal = false);

#endif  // VORTRIM_OUTPUT_REPORT_H
