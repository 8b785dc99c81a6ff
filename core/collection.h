// Many banks read as one collection, as the browser page reads them: each
// bank with what the page shows of it, and each distinct patch kept once,
// so that a patch that several banks hold is known as the same patch
// wherever it stands.

#ifndef VORTRIM_CORE_COLLECTION_H
#define VORTRIM_CORE_COLLECTION_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/bank_image.h"
#include "core/naming.h"
#include "core/sysex.h"

// A distinct patch: its bytes, kept for as long as the collection.
struct KeptPatch {
  const unsigned char* bytes;
  std::size_t size;
  bool crc_known = false;  // the CRC-32 below is worked out when first asked for
  std::uint32_t crc = 0;
};

struct KeptPatches {
  std::vector<KeptPatch> patches;  // by number, in the order first met
  // The patches' numbers by a hash of their bytes.
  std::unordered_multimap<std::uint64_t, std::uint32_t> by_hash;
  // Where the bytes are kept: blocks that never move, so that a kept
  // patch's address stays valid.
  std::vector<std::unique_ptr<unsigned char[]>> blocks;
  std::size_t filled = 0;  // bytes used in the last block
};

// The number of the patch with these `size` bytes: the one kept already,
// if its bytes are the same to the last (a copy), else a new one, kept.
std::uint32_t keep_patch(KeptPatches& kept, const unsigned char* bytes, std::size_t size);

// The CRC-32 of kept patch `number`, as a .zip records it.
std::uint32_t kept_crc(KeptPatches& kept, std::uint32_t number);

// The CRC-32 of `size` bytes, as .zip and PNG files hold it.
std::uint32_t crc32(const unsigned char* bytes, std::size_t size);

// A stored patch of a bank in the collection, as the page shows it.
struct CollectedPatch {
  std::uint32_t number = 0;  // among the kept patches: a copy has its original's
  int slot = 0;              // as listed, 1 to 128
  std::string name;    // the 8 bytes as listed, control bytes as "?", in UTF-8
  std::string label;   // the name as its file's stem has it: no padding
  int sources = 0;
  std::array<char, kMaxSources + 1> source_map{};
  int size = 0;
  std::string file;     // its .KA1 in a .zip or a folder (NameRules::kPage)
  std::string renamed;  // "", or why that is not the patch's own name
  PatchCheck check;     // what its checksums and bytes say
};

struct CollectedBank {
  std::string path;     // in the collection, UTF-8, "/" between folders
  bool loaded = false;
  std::string message;  // the summary line (no line break), or the refusal
  std::string listing;  // the summary and the listing, as `vortrim -l` prints them
  std::uint32_t free = 0;
  // Its folder in a .zip of the whole collection, and why that is not the
  // bank's own name, if it is not.
  std::string folder;
  std::string folder_renamed;
  std::vector<CollectedPatch> patches;  // in memory order
  std::vector<std::string> notes;  // what else reading it found (a .syx's skipped messages)
  // Refused as cut off: the patches that lie whole before the cut, which
  // are in no copy, find or total, and in no .zip but their own.
  std::vector<CollectedPatch> rescued;
};

// Where a patch stands: bank and position in it.
struct Place {
  std::uint32_t bank;
  std::uint32_t patch;
};

struct Collection {
  KeptPatches kept;
  std::vector<CollectedBank> banks;  // in the order added
  std::vector<std::vector<Place>> holders;  // by kept patch: its places, in the order added
  BankFolders folders;
  int skipped = 0;  // files of folders that are no banks
};

// How much of the file at `path` is read: what a bank can hold, or for a
// .syx file what a bank's dumps and some other messages take.
std::size_t read_limit(const std::string& path);

// Reads the first `size` bytes at `bytes` of the file at `path`,
// `file_size` bytes in all, as a bank (SysEx messages where it is named so
// or they start one, else a bank file) through `image` (the caller's, for the length of
// the call) and adds it, loaded or refused, to the collection. Returns its
// index.
std::uint32_t add_bank(Collection& collection, BankImage& image, const std::string& path,
                       const unsigned char* bytes, std::size_t size, std::size_t file_size);

// Adds the bank at `path`, which could not be read, with its refusal.
std::uint32_t add_unreadable(Collection& collection, const std::string& path);

// Whether a file met in a folder is read as a bank: a name that ends in
// ".KAA" or ".syx", in any case.
bool is_bank_file(const std::string& path);

// Whether path `a` comes before `b` as the page lists banks: by their
// bytes, so folders keep together and "B" comes before "a".
bool path_before(const std::string& a, const std::string& b);

// The indices of `paths` in path order.
std::vector<std::uint32_t> in_path_order(const std::vector<std::string>& paths);

// The collection's banks in path order.
std::vector<std::uint32_t> banks_in_order(const Collection& collection);

// What is said once for a bank all of whose patches another holds ("The
// same patches as Factory/DEMO.KAA."), or "".
std::string bank_copies_note(const Collection& collection, std::uint32_t bank);

// Where else each of a bank's patches stands ("also in slot 5; Live/A.KAA,
// slot 2"), leaving out the banks that bank_copies_note names; "" for one
// that stands nowhere else. A note a patch, in memory order.
std::vector<std::string> patch_copies_notes(const Collection& collection, std::uint32_t bank);

// The totals line: banks, patches, copies, failed checks, refused and
// skipped.
std::string totals_line(const Collection& collection);

// The patches whose shown name holds `typed` (case ignored as Windows
// ignores it, blanks around it too), with `failing` only those that fail a
// check, banks in path order and each in memory order; none for nothing
// typed and all patches.
std::vector<Place> find_patches(const Collection& collection, const std::string& typed,
                                bool failing = false);

// The one-single dump of patch `patch` of bank `bank` to `target`.
std::vector<unsigned char> patch_dump(const Collection& collection, std::uint32_t bank,
                                      std::uint32_t patch, const DumpTarget& target);

// What went into a bank's block dump.
struct BankDump {
  std::vector<unsigned char> bytes;
  std::size_t patches = 0;   // in it
  std::size_t left_out = 0;  // that no dump may carry
  std::string said;          // what the dump holds, what it left out and why, and what fails a check
};

// The block dump of bank `bank`, each patch at its own slot, to `target`'s
// bank and channel. What no dump may carry is left out; what fails a check
// goes in as it is. Both are named in what it says.
BankDump bank_dump(const Collection& collection, std::uint32_t bank, const DumpTarget& target);

// The .syx file's name for a bank saved alone, and for a patch.
std::string bank_sysex_name(const CollectedBank& bank);
std::string patch_sysex_name(const CollectedPatch& patch);

// The last part of a bank's folder: its name when it is saved alone.
std::string own_folder(const CollectedBank& bank);

#endif  // VORTRIM_CORE_COLLECTION_H
