#include "output/report.h"

unsigned percent_hundredths(std::uint32_t free) {
  // free * 10000 / 131072, exact in integers; adding half the divisor rounds
  // halves up, which for these non-negative values is away from zero.
  const std::uint64_t scaled = static_cast<std::uint64_t>(free) * 10000;
  return static_cast<unsigned>((scaled + kMemorySize / 2) / kMemorySize);
}

void print_report(std::FILE* out, const BankImage& image,
                  const std::string& input_name, bool list) {
  const std::uint32_t free = free_bytes(image);
  const unsigned hundredths = percent_hundredths(free);
  // "%2u.%02u" is exactly as wide as "%5.2f" for 0.00 to 100.00.
  std::fprintf(out,
               "\"%s\" contains %d patches. %u bytes (%2u.%02u%% of memory) free.\n",
               input_name.c_str(), image.count, free, hundredths / 100,
               hundredths % 100);
  if (!list) return;
  std::fprintf(out, "number name     sources  size\n");
  for (int i = 0; i < image.count; ++i) {
    const PatchEntry& e = stored_patch(image, i);
    std::fprintf(out, " % 4d  %8s  %6s % 5d\n", e.slot + 1, e.name.data(),
                 e.source_map.data(), e.size);
  }
}
