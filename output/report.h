// The summary line that every completed run prints, and the patch listing.

#ifndef VORTRIM_OUTPUT_REPORT_H
#define VORTRIM_OUTPUT_REPORT_H

#include <cstdio>
#include <string>

#include "bank/bank_image.h"

// Free memory in hundredths of a per cent, rounded half away from zero on
// every host (printf rounds exact halves to even on some).
unsigned percent_hundredths(std::uint32_t free);

// Prints the summary for the bank read from `input_name` (shown as given)
// and, with `list`, one line per stored patch in memory order.
void print_report(std::FILE* out, const BankImage& image,
                  const std::string& input_name, bool list);

#endif  // VORTRIM_OUTPUT_REPORT_H
