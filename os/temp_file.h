// What the two halves of the write path (patch_file.h) share: how a file's
// identity is kept, and the temporary files' names, which a run on either
// host must know apart from everything else in a folder. Internal to output/.

#ifndef VORTRIM_OS_TEMP_FILE_H
#define VORTRIM_OS_TEMP_FILE_H

#include <compare>
#include <functional>
#include <string>

// A file's identity: the device and inode on POSIX, the volume serial number
// and file index on Windows. Two names of one file (a link, a case or 8.3
// alias, a name the file system folds) have the same identity.
struct FileId {
  unsigned long long volume = 0;
  unsigned long long index = 0;
  auto operator<=>(const FileId&) const = default;
};

// A run's temporary files are named "vortrim-incomplete-<process>-<n>.tmp":
// they bear its process number, so that a later run can tell whose they
// are. Their names are made and read here alone.

// Whether `name` is a temporary file's, of any run; if so, `*owner` (where
// given) is the process number that it bears, 0 where it bears none.
bool is_temp_file_name(const std::string& name, long* owner = nullptr);

// The wildcard pattern that a folder search finds them all by:
// "vortrim-incomplete-*.tmp".
std::string temp_file_pattern();

// What one try at a temporary file name came to.
enum class TempAttempt {
  kMade,   // the file is there, this run's
  kTaken,  // the name is another's (a live run's, say): the next one is tried
  kFailed  // the folder refuses: no name will do
};

// Offers `make` the names of the run of process `pid`, numbered from `next`
// on, until it answers kMade (true) or kFailed (false), 100 names at most.
// `next` is left past the last name offered.
bool make_temp_file(long pid, int& next,
                    const std::function<TempAttempt(const std::string& name)>& make);

#endif  // VORTRIM_OS_TEMP_FILE_H
