// Builds bank files in code, for the tests, the demo bank and the fuzz seeds,
// and the SysEx dumps that carry their patches.
//
//   build_bank({.patches = {{.slot = 0, .name = "Strings1", .sources = 2,
//                            .kits = "AP"}}})
//
// gives a real-sized bank with one patch of two sources, the first with a
// kit block. Each patch is what the instrument would send: every byte below
// 0x80 (but what its name holds), each source's wave kit saying whether it
// is additive, and its checksums right; `spoil` spoils one of them. Damaged
// banks come from explicit pointers, an explicit end pointer, a source
// count above 6 or a shorter file.

#ifndef VORTRIM_TESTS_BANK_BUILDER_H
#define VORTRIM_TESTS_BANK_BUILDER_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/bank_image.h"

// What is wrong with a patch that the checks must find.
enum class Spoil {
  kNone,
  kChecksum,     // its checksum is one off
  kKitChecksum,  // its first kit's checksum is one off
  kWaveKit,      // its first additive source's wave kit says PCM
};

struct TestPatch {
  int slot = 0;
  std::string name;  // space padded to 8 bytes; may hold a NUL
  int sources = 0;   // stored as one byte, so up to 255
  // Kit pointer k is set where kits[k] is 'A', and that source's wave kit
  // makes it additive; entries past `sources` make stale pointers.
  std::string kits;
  // Memory position; none: right after the previous patch.
  std::optional<std::uint32_t> pointer;
  Spoil spoil = Spoil::kNone;
};

struct TestBank {
  std::vector<TestPatch> patches;
  std::uint32_t base = 0x20000;  // where the first placed patch goes
  std::optional<std::uint32_t> end;  // none: just past the last patch
  std::optional<std::size_t> file_size;  // none: 3588 + 131072
};

// The length of a patch with `sources` sources, counting kits among them.
std::int32_t patch_size(int sources, std::string_view kits);

// The bytes of one patch as stored in the bank: its name and source count
// in place, its checksums and wave kits, and elsewhere a pattern of bytes
// below 0x80 that differs between slots, so that a misplaced copy shows.
std::vector<unsigned char> patch_bytes(const TestPatch& patch);

std::vector<unsigned char> build_bank(const TestBank& bank);

// SysEx dumps, their bytes spelled out here: bank is 0 (A), 2 (D), 3 (E)
// or 4 (F), channel 0 to 15, tone 0 to 127.
std::vector<unsigned char> one_single_bytes(int bank, int channel, int tone,
                                            const std::vector<unsigned char>& patch);
// A block dump of `patches` (tone, bytes), in ascending tone order.
std::vector<unsigned char> block_bytes(int bank, int channel,
                                       const std::vector<std::pair<int, std::vector<unsigned char>>>& patches);

// Writes `bytes` to `path`; false on any failure.
bool write_bytes(const std::string& path, const std::vector<unsigned char>& bytes);

#endif  // VORTRIM_TESTS_BANK_BUILDER_H
