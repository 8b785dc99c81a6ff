#include "bank/bank_image.h"

#include <algorithm>
#include <cstring>

namespace {

const char kReadError[] = "Cannot read input file.";

std::string patch_message(const std::string& what, const PatchEntry& e) {
  return "Bank file is damaged: patch " + std::to_string(e.slot + 1) + what;
}

// Derives sources, kits, size, name and source map of one stored patch, or
// says why the patch cannot be taken. `length` is how much of the data area
// the file really held.
bool derive_patch(const BankImage& image, std::size_t length, PatchEntry& e,
                  std::string* err) {
  const std::uint64_t start = e.offset;
  if (start + kPatchMinimumSpan > kMemorySize) {
    *err = patch_message(" lies outside patch memory.", e);
    return false;
  }
  e.sources = image.data[start + kSourceCountOffset];
  if (e.sources > kMaxSources) {
    *err = patch_message(" has " + std::to_string(e.sources) + " sources.", e);
    return false;
  }
  // Only the patch's own sources can own a kit block; pointers past them
  // are stale leftovers.
  std::memcpy(e.source_map.data(), "------", kKitsPerSlot + 1);
  e.kits = 0;
  for (int l = 0; l < e.sources; ++l) {
    const bool kit = e.kit[static_cast<std::size_t>(l)].present;
    e.kits += kit ? 1 : 0;
    e.source_map[static_cast<std::size_t>(l)] = kit ? 'A' : 'P';
  }
  e.size = kPatchFixedSize + kSourceSize * e.sources + kKitSize * e.kits;

  const std::uint64_t end = start + static_cast<std::uint64_t>(e.size);
  if (end > kMemorySize) {
    *err = patch_message(" lies outside patch memory.", e);
    return false;
  }
  if (end > length) {
    *err = "Bank file is truncated: patch " + std::to_string(e.slot + 1) +
           " ends past the end of the file.";
    return false;
  }
  std::memcpy(e.name.data(), &image.data[start + kNameOffset], kNameLength);
  e.name[kNameLength] = '\0';
  return true;
}

// Orders the stored patches by pointer. Insertion sort: stable, so equal
// pointers stay in slot order and output never depends on a sort's whims;
// quick on the nearly sorted tables of real banks; and it allocates nothing.
void sort_by_offset(BankImage& image) {
  auto& order = image.order;
  for (std::size_t i = 1; i < static_cast<std::size_t>(image.count); ++i) {
    const std::uint8_t moving = order[i];
    std::size_t j = i;
    for (; j > 0 && compare_by_offset(image.entries[order[j - 1]], image.entries[moving]) > 0;
         --j) {
      order[j] = order[j - 1];
    }
    order[j] = moving;
  }
}

}  // namespace

int compare_by_offset(const PatchEntry& a, const PatchEntry& b) {
  return (a.offset > b.offset) - (a.offset < b.offset);
}

bool load_bank(BankImage& image, std::FILE* in, std::string* err) {
  std::array<unsigned char, kHeaderSize> header;
  if (std::fread(header.data(), 1, header.size(), in) != header.size()) {
    *err = std::ferror(in) ? kReadError : "Bank file is too short.";
    return false;
  }
  image.count = 0;
  // Cleared in one sweep: clearing entry by entry was a third of the load.
  image.entries.fill(PatchEntry{});
  for (std::size_t s = 0; s < kSlotCount; ++s) {
    PatchEntry& e = image.entries[s];
    const std::size_t group = s * kSlotGroupSize;
    e.slot = static_cast<std::int32_t>(s);
    e.offset = read_be32(header.data(), header.size(), group);
    e.present = e.offset != 0;
    if (e.present) {
      image.order[static_cast<std::size_t>(image.count++)] =
          static_cast<std::uint8_t>(s);
    }
    for (std::size_t k = 0; k < kKitsPerSlot; ++k) {
      e.kit[k].offset = read_be32(header.data(), header.size(), group + 4 + 4 * k);
      e.kit[k].present = e.kit[k].offset != 0;
    }
  }
  PatchEntry& end = image.entries[kEndSentinel];
  end.slot = static_cast<std::int32_t>(kEndSentinel);
  end.offset = read_be32(header.data(), header.size(), kEndPointerOffset);
  image.order[static_cast<std::size_t>(image.count)] = kEndSentinel;

  // A short data area is normal for a hand-made file; what it lacks is
  // zero, and a patch that needs it is refused below.
  const std::size_t length = std::fread(image.data.data(), 1, kMemorySize, in);
  if (std::ferror(in)) {
    *err = kReadError;
    return false;
  }
  std::fill(image.data.begin() + static_cast<std::ptrdiff_t>(length), image.data.end(), 0);

  sort_by_offset(image);
  image.base = image.entries[image.order[0]].offset;
  if (end.offset < image.base || end.offset - image.base > kMemorySize) {
    *err = "Bank file is damaged: end pointer out of range.";
    return false;
  }
  end.offset -= image.base;
  for (std::size_t i = 0; i < static_cast<std::size_t>(image.count); ++i) {
    PatchEntry& e = image.entries[image.order[i]];
    e.offset -= image.base;
    if (!derive_patch(image, length, e, err)) return false;
  }
  return true;
}
