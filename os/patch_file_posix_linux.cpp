// What Linux adds to the portable POSIX write path: patches staged in
// unnamed files and named by linkat, writeback started while the rest are
// staged and waited for without a cache flush, and a last flush of the
// folder alone where the file system journals names with their files.

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "os/patch_file_posix.h"

namespace {

// Whether the folder's file system journals names together with the inodes
// they lead to, so that flushing the folder commits every file named in it
// (after their data, which the disk already has). Elsewhere (FAT, ext2) only
// a sync of the whole file system writes each file's own entry. So does
// btrfs: its fsync of a folder logs the new names with empty files behind
// them (the files' extents wait for the next commit), which a power cut
// leaves as empty patches.
bool journals_names(int dir) {
  // A btrfs folder's device is its subvolume's, which mountinfo never
  // lists: known by its magic number instead.
  struct statfs fs;
  if (fstatfs(dir, &fs) != 0 || fs.f_type == BTRFS_SUPER_MAGIC) return false;
  struct stat st;
  std::FILE* mounts = fstat(dir, &st) == 0 ? std::fopen("/proc/self/mountinfo", "re") : nullptr;
  if (mounts == nullptr) return false;
  // "36 35 98:0 /root /mnt rw,noatime shared:1 - ext4 /dev/sda1 rw": the
  // device is the third field, the file system type follows " - ".
  const std::string device =
      std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev));
  char line[4096];
  bool journaled = false;
  while (!journaled && std::fgets(line, sizeof line, mounts) != nullptr) {
    char id[32], parent[32], dev[32], type[32];
    const char* rest = std::strstr(line, " - ");
    if (rest == nullptr || std::sscanf(line, "%31s %31s %31s", id, parent, dev) != 3 ||
        device != dev || std::sscanf(rest, " - %31s", type) != 1) {
      continue;
    }
    const std::string t = type;
    journaled = t == "ext4" || t == "ext3" || t == "xfs";
  }
  std::fclose(mounts);
  return journaled;
}

// Where sync_file_range is missing (or the file is no plain file).
bool no_sync_file_range() { return errno == ENOSYS || errno == EINVAL || errno == ESPIPE; }

}  // namespace

int open_unnamed(int dir) { return openat(dir, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666); }

int link_unnamed(int fd, int dir, const char* name) {
  // Root may link the descriptor itself; anyone may by way of /proc.
  if (linkat(fd, "", dir, name, AT_EMPTY_PATH) == 0) return 0;
  if (errno != ENOENT && errno != EPERM) return -1;
  char proc[40];
  std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
  return linkat(AT_FDCWD, proc, dir, name, AT_SYMLINK_FOLLOW);
}

bool flush_file(int fd, Flush intent) {
  if (intent == Flush::kOnItsWay) {
    return sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE) == 0 || no_sync_file_range();
  }
  // Waited for, or ext4 may commit a new file's name before its data
  // (unwritten extents are converted only when the write has ended).
  if (sync_file_range(fd, 0, 0,
                      SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                          SYNC_FILE_RANGE_WAIT_AFTER) == 0) {
    return true;
  }
  // Where the call is missing, a sync does the same and more.
  return no_sync_file_range() && fdatasync(fd) == 0;
}

bool flush_run(int dir, int /*last*/) {
  // The folder's fsync where that commits all that was named in it; else
  // the whole file system's first, which also waits for other programs'
  // data on it (with 300 MB of theirs, half a second).
  const bool synced = journals_names(dir) || syncfs(dir) == 0;
  return fsync(dir) == 0 && synced;
}
