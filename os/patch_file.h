// Patch files that are whole or absent, even across a power cut, and on the
// disk once the run has ended; files told apart by what they are rather than
// by how they are spelled. One interface, with a POSIX half
// (patch_file_posix.cpp) and a Windows half (patch_file_win32.cpp), each
// keeping its own state in its own PatchFolder.
//
// How the files are written, so that a reader, a killed run or a power cut
// never meets half a patch:
//   1. Staged: each patch's bytes go to a temporary file in the destination
//      folder that no run will ever take for a patch (Linux: a file with no
//      name yet, O_TMPFILE; Windows: "vortrim-incomplete-<process>-<n>.tmp",
//      marked for deletion on close), so a run killed at any moment leaves
//      nothing behind, and are sent on their way to the disk without a
//      cache flush. Other POSIX hosts (macOS, the BSDs) have no such files:
//      each patch is written and named in one go in step 2, as on FAT.
//      All patches are staged first, so that the disk writes them while the
//      rest are staged instead of being waited for one by one.
//   2. Named: once the disk has a file's data, the file gets its name: a
//      name must not reach the disk before its data, or a power cut could
//      leave it empty or zero-filled. On POSIX, replacing an older file
//      needs a named temporary file ("vortrim-incomplete-<process>-<n>.tmp")
//      for a moment, renamed over the older one; so does a file system
//      without unnamed files (FAT), where each file is written and named in
//      one go. While named it is locked, and the next run into the folder
//      removes any such file whose run is gone.
//   3. The files stay open until the end of the run, so that no other file
//      can be given their identity meanwhile, not even by another run.
//   4. At the end one flush puts every name and byte on the disk before the
//      program ends: on Linux of the folder where the file system journals
//      names with their files, else of the whole file system; on macOS one
//      flush of the drive's cache (each file's data was ordered before its
//      name by a barrier, not a flush); on Windows of the volume.

#ifndef VORTRIM_OS_PATCH_FILE_H
#define VORTRIM_OS_PATCH_FILE_H

#include <cstddef>
#include <string>

// The destination folder of one run and the files staged and named in it:
// each half's own, made by open_patch_folder and ended by close_patch_folder.
struct PatchFolder;

// Opens `dir` (ending in a separator) for a run's files and removes
// temporary files that killed runs left there. On POSIX the stop signals
// (SIGINT, SIGTERM, SIGHUP) then remove a named temporary file in flight
// before they end the process as they would have; signals that were ignored
// stay ignored. (On Windows the file system removes it: see above.) A
// folder that cannot be opened still gives a PatchFolder, in which every
// file fails to open.
PatchFolder* open_patch_folder(const std::string& dir);

// Step 1 for the next patch, `size` bytes that must stay where they are
// until the file is named. A failure is kept, for naming to report. Patches
// are numbered from 0 in the order they are staged.
void stage_patch_file(PatchFolder& folder, const unsigned char* bytes, std::size_t size);

// Whether `name` in the folder leads to a file named earlier in this run,
// links followed: whatever the file system folds (case in any script, 8.3
// aliases), files are told apart by what they are, not by their spelling.
bool leads_to_written(PatchFolder& folder, const std::string& name);

enum class WriteResult { kWritten, kCannotOpen, kCannotWrite };

// Step 2: gives staged patch number `staged` the name `name` in the folder.
// kCannotOpen: the folder is missing or not writable, the host refuses the
// name, or something that may not be replaced is in the way (a read-only
// file, a folder, a FIFO). kCannotWrite: writing failed. In either case an
// older file of that name is as it was and no temporary file is left.
WriteResult name_patch_file(PatchFolder& folder, std::size_t staged, const std::string& name);

// Puts everything named on the disk with one flush, closes the files (staged
// files never named vanish), gives the stop signals back and frees `folder`.
// False if the flush failed: some of the files or names may then not be on
// the disk.
bool close_patch_folder(PatchFolder* folder);

#endif  // VORTRIM_OS_PATCH_FILE_H
