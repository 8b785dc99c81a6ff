// The K5000 synthesizer's System Exclusive (SysEx) messages for patches: what
// a patch's own bytes say of it (its length, its checksums, whether MIDI can
// carry it), the "one single" and block dumps that carry patches to the
// instrument, and a .syx file of such dumps read as a bank.
//
// A patch's bytes, as a bank holds them and a .KA1 file carries them, are
// exactly the data of a one-single dump:
//
//   offset 0                      the patch's checksum
//   1 to 81                       the rest of the common block (the name at
//                                 40, the number of sources at 51)
//   82 + 86·s                     source s, 86 bytes; its bytes 28 and 29
//                                 (7 bits each) are its wave kit: 512 for
//                                 an additive (ADD) source, else a PCM wave
//   82 + 86·sources + 806·k       the kit of the k-th additive source, 806
//                                 bytes, its byte 0 its checksum
//
//   one single dump   F0 40 0n 20 00 0A 00 bb tt <patch> F7
//   block dump        F0 40 0n 21 00 0A 00 bb <tone map, 19 bytes> <patches> F7
//
// n is the MIDI channel (0 to 15), bb the bank (A 00, D 02, E 03, F 04),
// tt the tone (0 to 127). Bit j of tone map byte i stands for tone 7·i + j;
// the patches follow in ascending tone order, each as long as its own
// sources make it.

#ifndef VORTRIM_CORE_SYSEX_H
#define VORTRIM_CORE_SYSEX_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/bank_image.h"

inline constexpr unsigned char kSysExStart = 0xF0;
inline constexpr unsigned char kSysExEnd = 0xF7;
inline constexpr unsigned char kMakerId = 0x40;
inline constexpr unsigned char kInstrumentId = 0x0A;
inline constexpr unsigned char kOneSingleDump = 0x20;
inline constexpr unsigned char kBlockDump = 0x21;
inline constexpr std::size_t kToneMapSize = 19;
inline constexpr char kSysExFileExtension[] = ".syx";

// Where a source's wave kit stands, and the value that makes it additive.
inline constexpr std::size_t kWaveKitOffset = 28;
inline constexpr unsigned kAdditiveWaveKit = 512;

// The banks a dump may go to.
enum class DumpBank : unsigned char { kA = 0x00, kD = 0x02, kE = 0x03, kF = 0x04 };

// Where a dump goes: bank, tone (0 to 127) and MIDI channel (0 to 15).
struct DumpTarget {
  DumpBank bank = DumpBank::kA;
  int tone = 0;
  int channel = 0;
};

// The bank a user names ('A', 'D', 'E' or 'F'); false for any other.
bool dump_bank(char letter, DumpBank* bank);
char bank_letter(DumpBank bank);

// Whether the 86 bytes of a source at `source` make it an additive one.
bool is_additive_source(const unsigned char* source);

// How long the patch at `patch` is by its own bytes: 82 + 86 × sources +
// 806 × additive sources, as a dump without a bank's kit pointers tells
// it. 0 where the `size` bytes at hand do not reach that far into it (its
// source count and each source), or it claims more than kMaxSources.
std::size_t patch_length_from_sources(const unsigned char* patch, std::size_t size);

// The checksum a patch's byte 0 must hold: (the sum of bytes 1 to
// 81 + 86 × sources, that is the common block and every source, kits left
// out, + 0xA5) & 0x7F.
unsigned char patch_checksum(const unsigned char* patch, int sources);

// The checksum an additive kit's byte 0 must hold: (the sum of its bytes 1
// to 805 + 0xA5) & 0x7F.
unsigned char kit_checksum(const unsigned char* kit);

// What a patch's checks found. Nothing is ever changed in it.
struct PatchCheck {
  bool checksum_fails = false;
  int kit_fails = 0;  // the first additive kit (from 1) whose checksum fails; 0 for none
  // The first byte of 0x80 or more, which MIDI cannot carry, and whether it
  // stands in the name; `not_midi` 0 where there is none.
  unsigned char not_midi = 0;
  std::size_t not_midi_at = 0;
  bool in_name = false;
  // What its sources make it, where that is not its length in the bank: a
  // dump of it would be read wrongly.
  std::size_t length_from_sources = 0;
};

// Checks the `size` bytes of a patch of `sources` sources, as a bank holds
// it (its kits as its kit pointers say).
PatchCheck check_patch(const unsigned char* patch, std::size_t size, int sources);

// Whether a patch may go into a dump: MIDI can carry it and its sources
// make it as long as it is. (One whose checksum fails is sent as it is.)
bool may_dump(const PatchCheck& check);

// Whether any check failed.
bool fails_a_check(const PatchCheck& check);

// The one-single dump of the `size` bytes of a patch.
std::vector<unsigned char> one_single_dump(const DumpTarget& target, const unsigned char* patch,
                                           std::size_t size);

// The tone map of `tones` (each 0 to 127).
std::array<unsigned char, kToneMapSize> tone_map(const std::vector<int>& tones);

// A patch to go into a block dump at `tone`.
struct TonePatch {
  int tone;
  const unsigned char* bytes;
  std::size_t size;
};

// The block dump of `patches` (each at a tone of its own) to `bank` on
// `channel`: its tone map, then the patches in ascending tone order.
std::vector<unsigned char> block_dump(DumpBank bank, int channel, std::vector<TonePatch> patches);

// The requests that ask the instrument for a dump: of one patch, to come
// from `target`'s bank and tone on its channel, or of a whole bank.
//   request one patch   F0 40 0n 00 00 0A 00 bb tt F7
//   request a bank      F0 40 0n 01 00 0A 00 bb 00 F7
std::vector<unsigned char> patch_request(const DumpTarget& target);
std::vector<unsigned char> bank_request(DumpBank bank, int channel);

// The instrument's answer to a dump it was sent: F0 40 0n xx 00 0A F7.
enum class Answer {
  kNone,         // none yet
  kWritten,      // 40
  kWriteError,   // 41
  kProtected,    // 42: its memory is protected
  kFull,         // 44: its memory is full
  kNoExpansion,  // 45: banks E and F need the memory expansion
};

// The first answer on `channel` among the whole messages of `size` bytes
// received; kNone where none came.
Answer dump_answer(const unsigned char* bytes, std::size_t size, int channel);

// What has come in after a request for a dump: whether a dump of patches
// came whole, and whether a message is begun and not ended.
struct Incoming {
  bool whole_dump = false;
  bool open = false;
};
Incoming incoming(const unsigned char* bytes, std::size_t size);

// What reading a .syx file found besides its patches.
struct SysExNotes {
  int skipped = 0;  // messages that are no patch of this instrument
  // Tones given twice by one-single dumps (from 1), the later one read,
  // with the name of the one it replaced.
  std::vector<std::pair<int, std::string>> replaced;
};

// Whether `size` bytes at `bytes` are SysEx rather than a bank: they start
// a message. (A bank's first byte is that of its first pointer, which is
// never so high.)
bool starts_sysex(const unsigned char* bytes, std::size_t size);

// Fills `image` as the bank of the patches that the SysEx messages of the
// `size` bytes at `bytes` carry, each at its tone as its slot, its source
// map from its wave kits, back to back in tone order. On a file that holds
// no patch, or a damaged one, returns false and says why in `*why` (the
// kinds from kNoSysEx on, and kTooManySources); where it is cut off, the
// image then holds the whole patches before the cut.
bool load_sysex(BankImage& image, const unsigned char* bytes, std::size_t size, BankRefusal* why,
                SysExNotes* notes);

#endif  // VORTRIM_CORE_SYSEX_H
