// The POSIX half of patch_file.h, portable to every POSIX host: named
// temporary files, the checks before a name is replaced, the clean-up of
// dead runs' files and the stop signals. What a host adds (Linux: unnamed
// files and its own flushes) comes through patch_file_posix.h. Everything is
// done relative to the folder's descriptor, so temporary files always live
// beside the files they become.

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include <set>
#include <vector>

#include "os/patch_file.h"
#include "os/patch_file_posix.h"
#include "os/temp_file.h"

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// One patch's bytes, staged.
struct StagedFile {
  int fd = -1;  // the unnamed file; -1 where it is written when named
  const unsigned char* bytes = nullptr;
  std::size_t size = 0;
  WriteResult result = WriteResult::kWritten;  // so far
};

}  // namespace

struct PatchFolder {
  std::string dir;  // as given, ending in a separator
  int handle = -1;  // the folder, opened once; -1 if it cannot be opened
  std::vector<StagedFile> staged;  // in the order staged
  std::vector<int> files;          // staged or named in this run, still open
  std::set<FileId> written;        // the identities of those named
  int last_named = -1;  // the file named last, through which hosts may flush
  // The host and file system take unnamed temporary files and they can be
  // named (Linux); else every file goes through a named temporary file.
  bool unnamed = true;
  // A cache of the last look at a name (leads_to_written looks just before
  // the name is given): what was there, or an errno where nothing was.
  std::string looked_at;
  int look_error = 0;
  struct stat look {};
  // The stop signals' handlers before the run, given back at its end.
  struct sigaction previous[std::size(kStopSignals)] = {};
};

namespace {

// A run keeps each file open until it ends: a full bank, the folder and the
// standard streams.
constexpr rlim_t kFilesNeeded = 256;

// The named temporary file in flight, for the signal handler: set once the
// name is this run's (so that a stop never removes another's file), cleared
// once it is renamed or removed.
std::atomic<const char*> in_flight{nullptr};

extern "C" void remove_in_flight_and_stop(int sig) {
  const char* path = in_flight.load();
  if (path != nullptr) unlink(path);
  signal(sig, SIG_DFL);
  raise(sig);
}

// Holds the path that `in_flight` points to while it is set.
struct InFlight {
  std::string path;
  void set(const std::string& dir, const std::string& name) {
    in_flight.store(nullptr);  // while `path` changes
    path = dir + name;
    in_flight.store(path.c_str());
  }
  void clear() { in_flight.store(nullptr); }
  ~InFlight() { clear(); }
};

FileId id_of(const struct stat& st) {
  return {static_cast<unsigned long long>(st.st_dev), static_cast<unsigned long long>(st.st_ino)};
}

bool same_file(const struct stat& a, const struct stat& b) { return id_of(a) == id_of(b); }

// Whether `name` in `dir`, a file opened as `fd`, is still that file.
bool still_named(int dir, const char* name, int fd) {
  struct stat by_name, by_fd;
  return fstatat(dir, name, &by_name, AT_SYMLINK_NOFOLLOW) == 0 && fstat(fd, &by_fd) == 0 &&
         same_file(by_name, by_fd);
}

// Removes the temporary files that killed runs left in the folder: those
// whose process is gone and whose lock nobody holds. A live run's file is
// left alone, also one of an older version that did not lock it, or of a run
// on another machine that has the folder too. This process has made none
// yet: one with its number is a dead process's that had the number before.
void remove_stale_temporaries(int dir) {
  const int listed = dup(dir);
  DIR* d = listed >= 0 ? fdopendir(listed) : nullptr;
  if (d == nullptr) {
    if (listed >= 0) close(listed);
    return;
  }
  while (const dirent* entry = readdir(d)) {
    const std::string name = entry->d_name;
    long pid = 0;
    if (!is_temp_file_name(name, &pid)) continue;
    if (pid > 0 && pid <= INT_MAX && pid != getpid() &&
        (kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM)) {
      continue;
    }
    // O_NONBLOCK: whatever has the name, opening it must not wait.
    const int fd =
        openat(dir, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        still_named(dir, name.c_str(), fd)) {
      unlinkat(dir, name.c_str(), 0);
    }
    close(fd);
  }
  closedir(d);
}

// Looks at what `name` is in the folder, without following a link, and
// keeps it: the same look serves the name's identity and its probe.
void look(PatchFolder& folder, const std::string& name) {
  folder.looked_at = name;
  folder.look_error =
      fstatat(folder.handle, name.c_str(), &folder.look, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
}

// Whether `name` may be written: nothing is there, a link is there (it is
// replaced, never followed), or a regular file that this user may write. A
// folder, a FIFO, a device or a read-only file is refused; none of them is
// opened, so none can make the run wait.
bool may_replace(PatchFolder& folder, const std::string& name, bool& exists) {
  if (folder.looked_at != name) look(folder, name);
  folder.looked_at.clear();  // used once: the next name is looked at afresh
  const struct stat& st = folder.look;
  exists = folder.look_error == 0;
  if (!exists) return folder.look_error == ENOENT;
  if (S_ISLNK(st.st_mode)) return true;
  if (!S_ISREG(st.st_mode)) return false;
  // The owner's write bit is all that decides for the owner.
  return (st.st_uid == geteuid() && (st.st_mode & S_IWUSR) != 0) ||
         faccessat(folder.handle, name.c_str(), W_OK, AT_EACCESS | AT_SYMLINK_NOFOLLOW) == 0;
}

bool write_all(int fd, const unsigned char* bytes, std::size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;  // a short write is followed by the rest
    bytes += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// The outcome of one way of naming a file; kUnsupported: the folder's file
// system cannot do it, try the other way.
enum class Attempt { kWritten, kCannotOpen, kCannotWrite, kUnsupported };

// Renames `from` over `to` in `dir`, removing `from` if that fails.
Attempt rename_into_place(int dir, const std::string& from, const std::string& to) {
  if (renameat(dir, from.c_str(), dir, to.c_str()) == 0) return Attempt::kWritten;
  unlinkat(dir, from.c_str(), 0);
  return Attempt::kCannotOpen;
}

// A file that replaces an older one keeps what the older one's owner chose:
// its owner and group where this user may give them away (root), else its
// group where that is one of this user's, and its permission bits. False if
// the file would be readable by more than the older one was.
bool take_over(int fd, const struct stat& older) {
  if (fchown(fd, older.st_uid, older.st_gid) != 0 &&
      fchown(fd, static_cast<uid_t>(-1), older.st_gid) != 0) {
    // Neither may be given: the file stays this user's and group's.
  }
  const mode_t bits = older.st_mode & 0777;
  // Where the file system keeps no bits (FAT), every file has the same.
  struct stat now;
  return fchmod(fd, bits) == 0 || (fstat(fd, &now) == 0 && (now.st_mode & 0777 & ~bits) == 0);
}

// Names the staged unnamed file `fd` once the disk has its data; `older`
// is the file it replaces, if one was there.
Attempt name_unnamed(const PatchFolder& folder, int fd, const std::string& name, bool exists,
                     const struct stat* older) {
  const int dir = folder.handle;
  if (!flush_file(fd, Flush::kBeforeName)) return Attempt::kCannotWrite;
  if (!exists) {
    if (link_unnamed(fd, dir, name.c_str()) == 0) return Attempt::kWritten;
    if (errno != EEXIST) {
      return errno == ENOENT || errno == EPERM ? Attempt::kUnsupported : Attempt::kCannotOpen;
    }
    // Made meanwhile: replaced like any older file.
  }
  if (older != nullptr && !take_over(fd, *older)) return Attempt::kCannotOpen;
  // Locked before it has a name, so that no other run takes it for stale.
  flock(fd, LOCK_EX);
  std::string temp_file;
  int n = 1;
  const bool linked = make_temp_file(getpid(), n, [&](const std::string& name) {
    temp_file = name;
    if (link_unnamed(fd, dir, name.c_str()) == 0) return TempAttempt::kMade;
    return errno == EEXIST ? TempAttempt::kTaken : TempAttempt::kFailed;
  });
  if (!linked) return Attempt::kCannotOpen;
  InFlight temp;
  temp.set(folder.dir, temp_file);
  return rename_into_place(dir, temp_file, name);
}

// Writes and names a file by way of a named temporary file, where the file
// system has no unnamed ones; `older` is the file it replaces, if one was
// there. On kWritten `fd` is the file.
Attempt write_named(const PatchFolder& folder, const std::string& name,
                    const unsigned char* bytes, std::size_t size, const struct stat* older,
                    int& fd) {
  const int dir = folder.handle;
  InFlight temp;
  std::string temp_file;
  int n = 1;
  fd = -1;
  const bool made = make_temp_file(getpid(), n, [&](const std::string& name) {
    temp_file = name;
    fd = openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) return errno == EEXIST ? TempAttempt::kTaken : TempAttempt::kFailed;
    temp.set(folder.dir, temp_file);
    // Another run may have taken it for stale before it was locked.
    const bool taken = flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    if (!taken && still_named(dir, name.c_str(), fd)) return TempAttempt::kMade;
    temp.clear();
    close(fd);
    fd = -1;
    return TempAttempt::kTaken;
  });
  if (!made) return Attempt::kCannotOpen;
  Attempt result = Attempt::kWritten;
  if (older != nullptr && !take_over(fd, *older)) {
    unlinkat(dir, temp_file.c_str(), 0);
    result = Attempt::kCannotOpen;
  } else if (!write_all(fd, bytes, size) || !flush_file(fd, Flush::kBeforeName)) {
    unlinkat(dir, temp_file.c_str(), 0);
    result = Attempt::kCannotWrite;
  } else {
    result = rename_into_place(dir, temp_file, name);
  }
  if (result != Attempt::kWritten) {
    close(fd);
    fd = -1;
  }
  return result;
}

void catch_stop_signals(PatchFolder& folder) {
  for (std::size_t i = 0; i < std::size(kStopSignals); ++i) {
    struct sigaction& old = folder.previous[i];
    old.sa_handler = SIG_DFL;  // where none can be saved
    if (sigaction(kStopSignals[i], nullptr, &old) != 0) continue;
    // A run started to ignore a signal (nohup, a background job) keeps
    // ignoring it.
    if (old.sa_handler == SIG_IGN) continue;
    struct sigaction stop = {};
    stop.sa_handler = remove_in_flight_and_stop;
    sigemptyset(&stop.sa_mask);
    sigaction(kStopSignals[i], &stop, nullptr);
  }
}

void release_stop_signals(const PatchFolder& folder) {
  for (std::size_t i = 0; i < std::size(kStopSignals); ++i) {
    sigaction(kStopSignals[i], &folder.previous[i], nullptr);
  }
}

}  // namespace

bool leads_to_written(PatchFolder& folder, const std::string& name) {
  if (folder.handle < 0) return false;
  look(folder, name);
  if (folder.written.empty() || folder.look_error != 0) return false;
  struct stat st = folder.look;
  if (S_ISLNK(st.st_mode) && fstatat(folder.handle, name.c_str(), &st, 0) != 0) return false;
  return folder.written.count(id_of(st)) > 0;
}

PatchFolder* open_patch_folder(const std::string& dir) {
  auto* folder = new PatchFolder;
  folder->dir = dir;
  catch_stop_signals(*folder);
  folder->handle = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder->handle < 0) return folder;
  rlimit files;
  if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < kFilesNeeded) {
    files.rlim_cur = files.rlim_max < kFilesNeeded ? files.rlim_max : kFilesNeeded;
    setrlimit(RLIMIT_NOFILE, &files);
  }
  remove_stale_temporaries(folder->handle);
  return folder;
}

void stage_patch_file(PatchFolder& folder, const unsigned char* bytes, std::size_t size) {
  StagedFile& file = folder.staged.emplace_back(StagedFile{.bytes = bytes, .size = size});
  if (folder.handle < 0) {
    file.result = WriteResult::kCannotOpen;
    return;
  }
  if (!folder.unnamed) return;  // written when named
  const int fd = open_unnamed(folder.handle);
  if (fd < 0) {
    // EISDIR: a kernel without unnamed files; EOPNOTSUPP: a file system or
    // host without.
    if (errno == EISDIR || errno == EOPNOTSUPP || errno == EINVAL) {
      folder.unnamed = false;
    } else {
      file.result = WriteResult::kCannotOpen;
    }
    return;
  }
  if (!write_all(fd, bytes, size) || !flush_file(fd, Flush::kOnItsWay)) {
    close(fd);
    file.result = WriteResult::kCannotWrite;
    return;
  }
  file.fd = fd;
  folder.files.push_back(fd);
}

WriteResult name_patch_file(PatchFolder& folder, std::size_t staged, const std::string& name) {
  StagedFile& file = folder.staged.at(staged);
  if (file.result != WriteResult::kWritten) return file.result;
  bool exists = false;
  if (!may_replace(folder, name, exists)) return WriteResult::kCannotOpen;
  // What the older file's owner chose, for its replacement.
  const struct stat looked = folder.look;
  const struct stat* older = exists && S_ISREG(looked.st_mode) ? &looked : nullptr;
  Attempt result = Attempt::kUnsupported;
  if (file.fd >= 0) result = name_unnamed(folder, file.fd, name, exists, older);
  if (result == Attempt::kUnsupported) {
    folder.unnamed = false;  // so for every later file too
    int fd = -1;
    result = write_named(folder, name, file.bytes, file.size, older, fd);
    if (result == Attempt::kWritten) {
      file.fd = fd;
      folder.files.push_back(fd);
    }
  }
  switch (result) {
    case Attempt::kWritten:
      break;
    case Attempt::kCannotWrite:
      return WriteResult::kCannotWrite;
    default:
      return WriteResult::kCannotOpen;
  }
  struct stat st;
  if (fstat(file.fd, &st) == 0) folder.written.insert(id_of(st));
  folder.last_named = file.fd;
  return WriteResult::kWritten;
}

bool close_patch_folder(PatchFolder* folder) {
  // One flush for the whole run, as the host can do it.
  bool on_disk = folder->written.empty() || flush_run(folder->handle, folder->last_named);
  for (const int fd : folder->files) on_disk = close(fd) == 0 && on_disk;
  if (folder->handle >= 0) close(folder->handle);
  release_stop_signals(*folder);
  delete folder;
  return on_disk;
}
