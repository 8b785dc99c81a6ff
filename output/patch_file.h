// Patch files that are whole or absent, even across a power cut, and on the
// disk once the run has ended; files told apart by what they are rather than
// by how they are spelled. One interface, with a POSIX half
// (patch_file_posix.cpp) and a Windows half (patch_file_win32.cpp).
//
// How a file is written, so that a reader, a killed run or a power cut never
// meets half a patch:
//   1. The bytes go to a temporary file in the destination folder that has
//      no name yet (Linux: O_TMPFILE; Windows: a file marked for deletion on
//      close), so a run killed at any moment leaves nothing behind.
//   2. They are sent to the disk and waited for, without the cache flush of
//      fsync: the file's name must not reach the disk before its data, or a
//      power cut could leave it empty or zero-filled under its name.
//   3. The file is given its name. Replacing an older file needs a named
//      temporary file ("vortrim-incomplete-<process>-<n>.tmp") for a moment,
//      renamed over the older one; so does a file system without unnamed
//      files (FAT). While named it is locked, and the next run into the
//      folder removes any such file whose run is gone.
//   4. The file stays open until the end of the run, so that no other file
//      can be given its identity meanwhile, not even by another run.
//   5. At the end of the run one flush of the file system puts every name
//      and byte on the disk before the program ends.

#ifndef VORTRIM_OUTPUT_PATCH_FILE_H
#define VORTRIM_OUTPUT_PATCH_FILE_H

#include <compare>
#include <cstddef>
#include <optional>
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

// The identity of the file that `path` leads to, links followed; none if it
// leads to no file.
std::optional<FileId> file_id(const std::string& path);

#ifdef _WIN32
using NativeHandle = void*;  // a HANDLE
#else
using NativeHandle = int;  // a file descriptor
#endif

// The destination folder of one run and the files written into it so far.
struct PatchFolder {
  std::string dir;  // as given, ending in a separator
  // POSIX: the folder, opened once; -1 if it cannot be opened.
  NativeHandle handle{};
  std::vector<NativeHandle> files;  // written in this run, still open
  std::set<FileId> written;         // their identities
  // POSIX: the file system takes unnamed temporary files and can name them.
  bool unnamed = true;
  // POSIX: the stop signals' handlers before the run caught them.
  void (*previous[3])(int) = {};
};

// Opens `dir` (ending in a separator) for a run's files, removes temporary
// files that killed runs left there, and has the stop signals (SIGINT,
// SIGTERM, SIGHUP) remove a named temporary file in flight before they end
// the process as they would have. Signals that were ignored stay ignored.
PatchFolder open_patch_folder(const std::string& dir);

enum class WriteResult { kWritten, kCannotOpen, kCannotWrite };

// Writes `size` bytes to the file `name` in the folder. kCannotOpen: the
// folder is missing or not writable, the host refuses the name, or something
// that may not be replaced is in the way (a read-only file, a folder, a
// FIFO). kCannotWrite: writing failed. In either case an older file of that
// name is as it was and no temporary file is left.
WriteResult write_patch_file(PatchFolder& folder, const std::string& name,
                             const unsigned char* bytes, std::size_t size);

// Puts everything written on the disk with one flush, closes the files and
// gives the stop signals back. False if the flush failed: some of the files
// or names may then not be on the disk.
bool close_patch_folder(PatchFolder& folder);

#endif  // VORTRIM_OUTPUT_PATCH_FILE_H
