// One patch file written whole or not at all, and files told apart by what
// they are rather than by how they are spelled, on POSIX and on Windows.
//
// A file is first written to a temporary file in the destination directory
// ("vortrim-incomplete-<process>-<n>.tmp") and then renamed into place, so a
// reader never sees half a patch, two runs into one folder cannot mix their
// bytes, and a link in the way is replaced rather than written through.

#ifndef VORTRIM_OUTPUT_PATCH_FILE_H
#define VORTRIM_OUTPUT_PATCH_FILE_H

#include <compare>
#include <csignal>
#include <cstddef>
#include <optional>
#include <string>

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

enum class WriteResult { kWritten, kCannotOpen, kCannotWrite };

// Writes `size` bytes to `path`, which lies in directory `dir` (ending in a
// separator), by way of a temporary file there. kCannotOpen: the temporary
// file cannot be created, the host refuses the name, or an existing `path`
// may not be written (a read-only file, a directory). kCannotWrite: writing
// failed. In either case `path` is as it was and no temporary file is left.
WriteResult write_whole_file(const std::string& dir, const std::string& path,
                             const unsigned char* bytes, std::size_t size);

// While they are caught, SIGINT, SIGTERM and SIGHUP remove the temporary
// file in flight and then end the process as they would have. Signals that
// were ignored stay ignored.
struct StopSignals {
  using Handler = void (*)(int);
  Handler previous[3] = {};
};
StopSignals catch_stop_signals();
void release_stop_signals(const StopSignals& saved);

#endif  // VORTRIM_OUTPUT_PATCH_FILE_H
