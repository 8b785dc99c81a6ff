// The K5000 bank file (".KAA") and the in-memory image the program works from.
//
// A bank file is a pointer table followed by the patch data, exactly as the
// instrument keeps them in its 131072 bytes of patch memory. All pointers are
// unsigned 32-bit big-endian values (most significant byte first) and are
// positions in that memory, not file offsets.
//
//   offset 0     128 slot groups of 28 bytes, slot 0 first. Each group holds
//                the slot's patch pointer (0: the slot is empty) and then six
//                kit pointers, one for each of the patch's possible sources
//                (0: that source has no kit block).
//   offset 3584  the end pointer: the memory position just past the last
//                stored patch.
//   offset 3588  the data area, up to 131072 bytes. Real banks carry all of
//                it, so they are exactly 134660 bytes long. Anything after
//                it is never read.
//
// The lowest patch pointer (the base) is the memory position of the data
// area's first byte. A stored patch is a contiguous run of bytes in the data
// area starting at its pointer minus the base. Of its contents only two fields
// matter here: the 8-byte name at patch offset 40 (space padded; a NUL ends
// it early) and the number of sources, one byte at patch offset 51 (at most
// 6). Its length is 82 bytes, plus 86 per source, plus an 806-byte kit block
// for each of its sources that has a kit pointer.
//
// Kit pointers beyond a patch's own sources are stale: the instrument leaves
// them behind when a smaller patch reuses a slot. They are kept in the image
// but never counted, or the patch would swallow part of its neighbour.
//
// A bank is either loaded whole and consistent, or refused with a message:
// every stored patch then lies inside the data that the file really holds.

#ifndef VORTRIM_CORE_BANK_IMAGE_H
#define VORTRIM_CORE_BANK_IMAGE_H

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

inline constexpr std::size_t kSlotCount = 128;
// A patch has at most six sources, and a slot a kit pointer for each.
inline constexpr std::size_t kMaxSources = 6;
inline constexpr std::size_t kSlotGroupSize = 4 + 4 * kMaxSources;  // 28
inline constexpr std::size_t kEndPointerOffset = kSlotCount * kSlotGroupSize;  // 3584
inline constexpr std::size_t kHeaderSize = kEndPointerOffset + 4;  // 3588
inline constexpr std::size_t kMemorySize = 131072;

inline constexpr std::size_t kNameOffset = 40;
inline constexpr std::size_t kNameLength = 8;
inline constexpr std::size_t kSourceCountOffset = 51;
// The name and the source count must both be readable.
inline constexpr std::size_t kPatchMinimumSpan = kSourceCountOffset + 1;  // 52

// A bank file, and a single-patch file: one patch's bytes as they stand in
// a bank.
inline constexpr char kBankFileExtension[] = ".KAA";
inline constexpr char kPatchFileExtension[] = ".KA1";

inline constexpr std::int32_t kPatchFixedSize = 82;
inline constexpr std::int32_t kSourceSize = 86;
inline constexpr std::int32_t kKitSize = 806;

struct KitSlot {
  bool present = false;
  std::uint32_t offset = 0;  // the kit pointer as stored
};

// One slot of the table, or (slot 128) the end sentinel, of which only
// `slot` and `offset` mean anything.
struct PatchEntry {
  std::int32_t slot = 0;
  bool present = false;
  // The patch pointer; after loading, relative to the base: an index into
  // BankImage::data.
  std::uint32_t offset = 0;
  std::int32_t sources = 0;
  std::int32_t kits = 0;  // kit pointers among the patch's own sources
  std::array<KitSlot, kMaxSources> kit{};
  std::int32_t size = 0;  // bytes, kit blocks included
  std::array<char, kNameLength + 1> name{};  // as stored, then a NUL
  std::array<char, kMaxSources + 1> source_map{};  // e.g. "AP----", then a NUL
};

inline constexpr std::size_t kEndSentinel = kSlotCount;

// The whole loaded bank, in one fixed-size record: loading allocates nothing.
struct BankImage {
  std::array<unsigned char, kMemorySize> data{};
  std::array<PatchEntry, kSlotCount + 1> entries{};
  std::int32_t count = 0;  // stored patches
  std::uint32_t base = 0;
  // Indices into `entries`: the stored patches in memory order (equal
  // pointers in slot order), then the end sentinel at position `count`.
  std::array<std::uint8_t, kSlotCount + 1> order{};
};

// Reads the big-endian 32-bit value at `at`; 0 if those four bytes are not
// all within the `length` bytes at `bytes`.
inline std::uint32_t read_be32(const unsigned char* bytes, std::size_t length,
                               std::size_t at) {
  if (at > length || length - at < 4) return 0;
  // One load and a byte swap: the table holds 897 of these.
  std::uint32_t value;
  std::memcpy(&value, bytes + at, sizeof value);
  if constexpr (std::endian::native == std::endian::little) value = __builtin_bswap32(value);
  return value;
}

// Orders entries by pointer, compared as unsigned: negative, zero or positive.
int compare_by_offset(const PatchEntry& a, const PatchEntry& b);

// Why a bank is refused. A file too short for the table, or whose pointers
// leave patch memory, is most likely some other kind of file, and is called
// so; the others are banks that were damaged or cut short. A .syx file
// read as a bank (sysex.h) has refusals of its own, after kCutOff.
enum class Refusal {
  kNone,            // loaded
  kReadError,       // the system reported an error while reading
  kTooShort,        // shorter than the pointer table and the end pointer
  kOutside,         // a pointer leads outside patch memory
  kTooManySources,  // a patch claims more than kMaxSources sources
  kCutOff,          // a patch ends past the end of the file
  kNoSysEx,         // no System Exclusive message in it
  kOtherMaker,      // its messages are another maker's
  kNoPatch,         // its messages are the instrument's, but carry no patch
  kNoEnd,           // a message has no end: the file is cut off
  kNotData,         // a message holds a byte that MIDI cannot carry
  kSingleLength,    // a one-single dump's patch is not as long as its sources make it
  kBlockLength,     // a block dump's patches are not as long as their sources make them
  kTooManyPatches,  // its patches take more than patch memory
  kTooLarge,        // larger than a .syx file of one bank can be
};

struct BankRefusal {
  Refusal kind = Refusal::kNone;
  int patch = 0;    // the patch's number as listed (slot + 1), where one is at fault
  int sources = 0;  // what it claims, for kTooManySources
  int message = 0;  // the message at fault (from 1), in a .syx file
  // kNotData: the byte; kSingleLength, kBlockLength, kTooManyPatches,
  // kTooLarge: the length found; kNoPatch: the kind of the first message.
  std::size_t value = 0;
  std::size_t expected = 0;  // the length the sources make, or the most there may be
};

// Fills `image` from `in`, a stream opened for binary reading at the start of
// the file. On a damaged or unreadable bank returns false and says why in
// `*why` (messages.h has its words); the image must not be used then, but
// after kCutOff, when it holds the whole patches before the cut (`count`
// of them, in memory order, their end sentinel their end). The caller
// closes the stream.
bool load_bank(BankImage& image, std::FILE* in, BankRefusal* why);

// The same from the first `size` bytes at `bytes`, a bank file's start.
bool load_bank_bytes(BankImage& image, const unsigned char* bytes, std::size_t size,
                     BankRefusal* why);

// The length of an 8-byte patch name: up to its first NUL, if it has one.
inline std::size_t name_length(const char* name) {
  const void* nul = std::memchr(name, '\0', kNameLength);
  return nul != nullptr ? static_cast<std::size_t>(static_cast<const char*>(nul) - name)
                        : kNameLength;
}

// The stored patch at position `i` (0 to count - 1) of memory order.
inline const PatchEntry& stored_patch(const BankImage& image, int i) {
  return image.entries[image.order[static_cast<std::size_t>(i)]];
}

// Bytes free in patch memory: everything past the end pointer.
inline std::uint32_t free_bytes(const BankImage& image) {
  return static_cast<std::uint32_t>(kMemorySize) -
         image.entries[kEndSentinel].offset;
}

#endif  // VORTRIM_CORE_BANK_IMAGE_H
