// Patch files that are whole or absent, even across a power cut, and on the
// disk once the run has ended; files told apart by what they are rather than
// by how they are spelled. One interface, with a POSIX half
// (patch_file_posix.cpp) and a Windows half (patch_file_win32.cpp).
//
// How the files are written, so that a reader, a killed run or a power cut
// never meets half a patch:
//   1. Staged: each patch's bytes go to a temporary file in the destination
//      folder that has no name yet (Linux: O_TMPFILE; Windows: a file marked
//      for deletion on close), so a run killed at any moment leaves nothing
//      behind, and are sent on their way to the disk without a cache flush.
//      Other POSIX hosts (macOS, the BSDs) have no such files: each patch is
//      written and named in one go in step 2, as on FAT.
//      All patches are staged first, so that the disk writes them while the
//      rest are staged instead of being waited for one by one.
//   2. Named: once the disk has a file's data, the file gets its name: a
//      name must not reach the disk before its data, or a power cut could
//      leave it empty or zero-filled. Replacing an older file needs a named
//      temporary file ("vortrim-incomplete-<process>-<n>.tmp") for a moment,
//      renamed over the older one; so does a file system without unnamed
//      files (FAT), where each file is written and named in one go. While
//      named it is locked, and the next run into the folder removes any such
//      file whose run is gone.
//   3. The files stay open until the end of the run, so that no other file
//      can be given their identity meanwhile, not even by another run.
//   4. At the end one flush puts every name and byte on the disk before the
//      program ends: on Linux of the folder where the file system journals
//      names with their files, else of the whole file system; on macOS one
//      flush of the drive's cache (each file's data was ordered before its
//      name by a barrier, not a flush).

#ifndef VORTRIM_OUTPUT_PATCH_FILE_H
#define VORTRIM_OUTPUT_PATCH_FILE_H

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <compare>
#include <cstddef>
#include <set>
#include <string>
#include <vector>

// A file's identity: the device and inode on POSIX, the volume serial number
// and file index on Windows. Two names of one file (a link, a case or 8.3
// alias, a name the file system folds) have the same identity.
struct FileId {
  unsigned long long volume = 0;
  unsigned long long index = 0;
  auto operator<=>(const FileId&) const = default;
};

#ifdef _WIN32
using NativeHandle = void*;  // a HANDLE
#else
using NativeHandle = int;    // a file descriptor
#endif

// The destination folder of one run and the files written into it so far.
struct PatchFolder {
  std::string dir;  // as given, ending in a separator
  std::vector<NativeHandle> files;  // staged or named in this run, still open
  std::set<FileId> written;         // the identities of those named
#ifdef _WIN32
  int next_temp = 1;                 // this run's temporary names, counted on
  NativeHandle last_named = nullptr;  // flushed at the end
#else
  int handle = -1;  // the folder, opened once; -1 if it cannot be opened
  int last_named = -1;  // the file named last, through which hosts may flush
  // The host and file system take unnamed temporary files and they can be
  // named (Linux); else every file goes through a named temporary file.
  bool unnamed = true;
  // The name last looked at, and what was there (an errno where nothing).
  std::string looked_at;
  int look_error = 0;
  struct stat look {};
  void (*previous[3])(int) = {};  // the stop signals' handlers before the run
#endif
};

// Whether `name` in the folder leads to a file named earlier in this run,
// links followed: whatever the file system folds (case in any script, 8.3
// aliases), files are told apart by what they are, not by their spelling.
bool leads_to_written(PatchFolder& folder, const std::string& name);

// Opens `dir` (ending in a separator) for a run's files and removes
// temporary files that killed runs left there. On POSIX the stop signals
// (SIGINT, SIGTERM, SIGHUP) then remove a named temporary file in flight
// before they end the process as they would have; signals that were ignored
// stay ignored. (On Windows the file system removes it: see above.)
PatchFolder open_patch_folder(const std::string& dir);

enum class WriteResult { kWritten, kCannotOpen, kCannotWrite };

// One patch's bytes, staged.
struct StagedFile {
  NativeHandle handle{};  // the unnamed file; none where it is written when named
  const unsigned char* bytes = nullptr;
  std::size_t size = 0;
  WriteResult result = WriteResult::kWritten;  // so far
};

// Step 1 for `size` bytes, which must stay where they are until the file is
// named. A failure is kept in the result, for naming to report.
StagedFile stage_patch_file(PatchFolder& folder, const unsigned char* bytes,
                            std::size_t size);

// Step 2: gives the staged file the name `name` in the folder. kCannotOpen:
// the folder is missing or not writable, the host refuses the name, or
// something that may not be replaced is in the way (a read-only file, a
// folder, a FIFO). kCannotWrite: writing failed. In either case an older
// file of that name is as it was and no temporary file is left.
WriteResult name_patch_file(PatchFolder& folder, StagedFile& file, const std::string& name);

// Puts everything named on the disk with one flush, closes the files (staged
// files never named vanish) and gives the stop signals back. False if the
// flush failed: some of the files or names may then not be on the disk.
bool close_patch_folder(PatchFolder& folder);

#endif  // VORTRIM_OUTPUT_PATCH_FILE_H
