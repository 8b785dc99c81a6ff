// What the two halves of the write path (patch_file.h) share: how a file's
// identity is kept, and the temporary files' names, which a run on either
// host must know apart from everything else in a folder. Internal to output/.

#ifndef VORTRIM_OUTPUT_TEMP_FILE_H
#define VORTRIM_OUTPUT_TEMP_FILE_H

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

// "vortrim-incomplete-<process>-<n>.tmp": a run's temporary files bear its
// process number, so that a later run can tell whose they are.
inline constexpr char kTempPrefix[] = "vortrim-incomplete-";
inline constexpr char kTempSuffix[] = ".tmp";

// Whether `name` is a temporary file's, of any run.
bool is_temp_file_name(const std::string& name);

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

#endif  // VORTRIM_OUTPUT_TEMP_FILE_H
