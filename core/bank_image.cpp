#include "core/bank_image.h"

#include <algorithm>
#include <cstring>

namespace {

// Derives sources, kits, size, name and source map of one stored patch, or
// says why the patch cannot be taken. `length` is how much of the data area
// the file really held.
bool derive_patch(const BankImage& image, std::size_t length, PatchEntry& e,
                  BankRefusal* why) {
  const std::uint64_t start = e.offset;
  if (start + kPatchMinimumSpan > kMemorySize) {
    *why = {Refusal::kOutside};
    return false;
  }
  e.sources = image.data[start + kSourceCountOffset];
  if (static_cast<std::size_t>(e.sources) > kMaxSources) {
    *why = {Refusal::kTooManySources, e.slot + 1, e.sources};
    return false;
  }
  // Only the patch's own sources can own a kit block; pointers past them
  // are stale leftovers.
  e.source_map.fill('-');
  e.source_map[kMaxSources] = '\0';
  e.kits = 0;
  for (std::size_t l = 0; l < static_cast<std::size_t>(e.sources); ++l) {
    const bool kit = e.kit[l].present;
    e.kits += kit ? 1 : 0;
    e.source_map[l] = kit ? 'A' : 'P';
  }
  e.size = kPatchFixedSize + kSourceSize * e.sources + kKitSize * e.kits;

  const std::uint64_t end = start + static_cast<std::uint64_t>(e.size);
  if (end > kMemorySize) {
    *why = {Refusal::kOutside};
    return false;
  }
  if (end > length) {
    *why = {Refusal::kCutOff, e.slot + 1};
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

// Reads the pointer table `header` into the entries.
void read_table(BankImage& image, const unsigned char* header) {
  image.count = 0;
  // Cleared in one sweep: clearing entry by entry was a third of the load.
  image.entries.fill(PatchEntry{});
  for (std::size_t s = 0; s < kSlotCount; ++s) {
    PatchEntry& e = image.entries[s];
    const std::size_t group = s * kSlotGroupSize;
    e.slot = static_cast<std::int32_t>(s);
    e.offset = read_be32(header, kHeaderSize, group);
    e.present = e.offset != 0;
    if (e.present) {
      image.order[static_cast<std::size_t>(image.count++)] =
          static_cast<std::uint8_t>(s);
    }
    for (std::size_t k = 0; k < kMaxSources; ++k) {
      e.kit[k].offset = read_be32(header, kHeaderSize, group + 4 + 4 * k);
      e.kit[k].present = e.kit[k].offset != 0;
    }
  }
  PatchEntry& end = image.entries[kEndSentinel];
  end.slot = static_cast<std::int32_t>(kEndSentinel);
  end.offset = read_be32(header, kHeaderSize, kEndPointerOffset);
  image.order[static_cast<std::size_t>(image.count)] = kEndSentinel;
}

// Keeps the first `count` patches of memory order, which lie whole, and
// ends the image after the last of them.
void keep_first_patches(BankImage& image, std::size_t count) {
  image.count = static_cast<std::int32_t>(count);
  image.order[count] = kEndSentinel;
  PatchEntry& end = image.entries[kEndSentinel];
  end.offset = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const PatchEntry& e = stored_patch(image, static_cast<int>(i));
    end.offset = std::max(end.offset, e.offset + static_cast<std::uint32_t>(e.size));
  }
}

// Orders the patches read by read_table and derives what they are, once
// the first `length` bytes of the data area hold what the file held.
bool take_patches(BankImage& image, std::size_t length, BankRefusal* why) {
  // A short data area is normal for a hand-made file; what it lacks is
  // zero, and a patch that needs it is refused below.
  std::fill(image.data.begin() + static_cast<std::ptrdiff_t>(length), image.data.end(), 0);
  sort_by_offset(image);
  PatchEntry& end = image.entries[kEndSentinel];
  image.base = image.entries[image.order[0]].offset;
  if (end.offset < image.base || end.offset - image.base > kMemorySize) {
    *why = {Refusal::kOutside};
    return false;
  }
  end.offset -= image.base;
  for (std::size_t i = 0; i < static_cast<std::size_t>(image.count); ++i) {
    PatchEntry& e = image.entries[image.order[i]];
    e.offset -= image.base;
    if (!derive_patch(image, length, e, why)) {
      // What lies whole before a cut can still be saved.
      if (why->kind == Refusal::kCutOff) keep_first_patches(image, i);
      return false;
    }
  }
  return true;
}

}  // namespace

int compare_by_offset(const PatchEntry& a, const PatchEntry& b) {
  return (a.offset > b.offset) - (a.offset < b.offset);
}

bool load_bank(BankImage& image, std::FILE* in, BankRefusal* why) {
  std::array<unsigned char, kHeaderSize> header;
  if (std::fread(header.data(), 1, header.size(), in) != header.size()) {
    *why = {std::ferror(in) ? Refusal::kReadError : Refusal::kTooShort};
    return false;
  }
  read_table(image, header.data());
  const std::size_t length = std::fread(image.data.data(), 1, kMemorySize, in);
  if (std::ferror(in)) {
    *why = {Refusal::kReadError};
    return false;
  }
  return take_patches(image, length, why);
}

bool load_bank_bytes(BankImage& image, const unsigned char* bytes, std::size_t size,
                     BankRefusal* why) {
  if (size < kHeaderSize) {
    *why = {Refusal::kTooShort};
    return false;
  }
  read_table(image, bytes);
  const std::size_t length = std::min(size - kHeaderSize, kMemorySize);
  std::memcpy(image.data.data(), bytes + kHeaderSize, length);
  return take_patches(image, length, why);
}
