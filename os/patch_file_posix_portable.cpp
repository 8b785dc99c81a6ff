// The portable POSIX write path's host calls, for every host but Linux
// (macOS, the BSDs): no unnamed files, so each patch goes through a named
// temporary file; flushes as strong as the host offers.
//
// macOS's fsync() hands the data to the drive but neither flushes the
// drive's cache nor orders writes. There F_BARRIERFSYNC orders a file's data
// before whatever is written after it (its name), without a full flush, and
// F_FULLFSYNC flushes the drive's cache. A file system may refuse either
// (exFAT sticks, network shares): the next stronger call is tried, and
// fsync() is the last resort, so that a refusal never fails a run.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "os/patch_file_posix.h"

int open_unnamed(int /*dir*/) {
  errno = EOPNOTSUPP;
  return -1;
}

int link_unnamed(int /*fd*/, int /*dir*/, const char* /*name*/) {
  errno = EOPNOTSUPP;
  return -1;
}

bool flush_file(int fd, Flush intent) {
  // Nothing here starts a writeback without waiting for it.
  if (intent == Flush::kOnItsWay) return true;
#ifdef F_BARRIERFSYNC
  if (fcntl(fd, F_BARRIERFSYNC) == 0) return true;
#endif
#ifdef F_FULLFSYNC
  if (fcntl(fd, F_FULLFSYNC) == 0) return true;
#endif
  return fsync(fd) == 0;
}

bool flush_run(int dir, [[maybe_unused]] int last) {
  bool on_disk = fsync(dir) == 0;  // the folder's entries, to the drive
#ifdef F_FULLFSYNC
  // One flush of the drive's cache, asked for through the last file named:
  // it covers everything written before. Refused, the file's fsync stands in.
  if (last >= 0 && fcntl(last, F_FULLFSYNC) != 0) on_disk = fsync(last) == 0 && on_disk;
#endif
  return on_disk;
}
