// What a POSIX host adds to the portable write path of patch_file_posix.cpp.
// The build compiles exactly one of:
//   patch_file_posix_linux.cpp     Linux: unnamed temporary files (O_TMPFILE),
//                                  writeback started early and waited for
//                                  without a cache flush, and the last flush
//                                  chosen by file system
//   patch_file_posix_portable.cpp  every other POSIX host (macOS, the BSDs):
//                                  no unnamed files; macOS's barrier and full
//                                  flush where the host has them, else fsync
// Internal to output/.

#ifndef VORTRIM_OS_PATCH_FILE_POSIX_H
#define VORTRIM_OS_PATCH_FILE_POSIX_H

// A file with no name yet, open for writing, in the folder `dir`; -1 with
// errno set where there is none: EOPNOTSUPP, EISDIR or EINVAL where the host
// or its file system has no such files (the named path is used then).
int open_unnamed(int dir);

// Gives the unnamed file `fd` the name `name` in `dir`: 0, or -1 with errno
// as from linkat (EEXIST: the name is taken; ENOENT or EPERM: this file
// system cannot name it, and the named path is used instead).
int link_unnamed(int fd, int dir, const char* name);

// What a flush of one file must achieve.
enum class Flush {
  kOnItsWay,    // its data sent towards the disk, not waited for; may do nothing
  kBeforeName,  // its data on the disk before anything written after it (its name)
};

// False, with errno set, if the disk refused the data.
bool flush_file(int fd, Flush intent);

// Puts everything the run named in the folder `dir` on the disk, with one
// device cache flush where the host allows: the files' data (each already
// flushed kBeforeName) and their names. `last` is the file named last, for
// hosts that ask for a full flush by way of a file.
bool flush_run(int dir, int last);

#endif  // VORTRIM_OS_PATCH_FILE_POSIX_H
