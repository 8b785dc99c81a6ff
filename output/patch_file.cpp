#include "output/patch_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <atomic>
#include <iterator>
#include <cerrno>
#include <cstdio>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
// Paths go to the wide-character calls, converted as the narrow ones would
// convert them (the ANSI code page): the narrow calls cut paths at MAX_PATH
// in places where the C library's fopen does not.
using NativeChar = wchar_t;
using NativePath = std::wstring;

NativePath native(const std::string& path) {
  if (path.empty()) return {};
  const int n = MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()),
                                    nullptr, 0);
  NativePath wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), wide.data(), n);
  return wide;
}

constexpr int kStopSignals[] = {SIGINT, SIGTERM};  // no SIGHUP here

int process_id() { return _getpid(); }
int remove_file(const NativeChar* path) { return _wunlink(path); }

// Creates `path` for writing; fails with EEXIST if it exists. Shared for
// deletion, so that the Ctrl+C handler, which Windows runs on a thread of
// its own, can remove the file while it is still open.
int create_new(const NativeChar* path) {
  const HANDLE h = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                               nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    errno = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? EEXIST : EACCES;
    return -1;
  }
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
  if (fd < 0) CloseHandle(h);
  return fd;
}

int close_fd(int fd) { return _close(fd); }
std::FILE* open_stream(int fd) { return _fdopen(fd, "wb"); }

// Whether an existing file at `path` may be replaced: only one that could be
// opened for writing, as before files were written by way of a rename.
bool may_replace(const NativeChar* path) {
  const int fd = _wopen(path, _O_WRONLY | _O_BINARY);
  if (fd >= 0) return _close(fd) == 0;
  return errno == ENOENT;
}

bool sync_file(std::FILE* f) { return _commit(_fileno(f)) == 0; }

bool move_into_place(const NativeChar* from, const NativeChar* to) {
  return MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING) != 0;
}
#else
using NativeChar = char;
using NativePath = std::string;

const NativePath& native(const std::string& path) { return path; }

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

int process_id() { return static_cast<int>(getpid()); }
int remove_file(const NativeChar* path) { return unlink(path); }

int create_new(const NativeChar* path) {
  return open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}

int close_fd(int fd) { return close(fd); }
std::FILE* open_stream(int fd) { return fdopen(fd, "wb"); }

// A symbolic link (ELOOP with O_NOFOLLOW) is replaced, never followed.
// O_NONBLOCK keeps a FIFO without a reader from stopping the run.
bool may_replace(const NativeChar* path) {
  const int fd = open(path, O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd >= 0) return close(fd) == 0;
  return errno == ENOENT || errno == ELOOP;
}

// On disk before the rename, so a power cut cannot leave a named but empty
// patch file.
bool sync_file(std::FILE* f) { return fsync(fileno(f)) == 0; }

bool move_into_place(const NativeChar* from, const NativeChar* to) {
  return std::rename(from, to) == 0;
}
#endif

// The temporary file being written, for the signal handler: set before the
// file is created, cleared once it is renamed or removed.
std::atomic<const NativeChar*> in_flight{nullptr};

extern "C" void remove_in_flight_and_stop(int sig) {
  const NativeChar* path = in_flight.load();
  if (path != nullptr) remove_file(path);
  std::signal(sig, SIG_DFL);
  std::raise(sig);
}

}  // namespace

std::optional<FileId> file_id(const std::string& path) {
#ifdef _WIN32
  // No access needed, and FILE_FLAG_BACKUP_SEMANTICS opens directories too.
  const HANDLE h = CreateFileW(native(path).c_str(), 0,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info;
  const bool known = GetFileInformationByHandle(h, &info) != 0;
  CloseHandle(h);
  if (!known) return std::nullopt;
  return FileId{info.dwVolumeSerialNumber,
                (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) |
                    info.nFileIndexLow};
#else
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return std::nullopt;
  return FileId{static_cast<unsigned long long>(st.st_dev),
                static_cast<unsigned long long>(st.st_ino)};
#endif
}

WriteResult write_whole_file(const std::string& dir, const std::string& path,
                             const unsigned char* bytes, std::size_t size) {
  const NativePath target = native(path);
  if (!may_replace(target.c_str())) return WriteResult::kCannotOpen;

  // A name of this process's own; one left by a killed run is stepped over.
  const std::string prefix = dir + "vortrim-incomplete-" + std::to_string(process_id()) + "-";
  NativePath temp;
  int fd = -1;
  for (int n = 1; fd < 0 && n <= 100; ++n) {
    in_flight.store(nullptr);  // while `temp` changes
    temp = native(prefix + std::to_string(n) + ".tmp");
    in_flight.store(temp.c_str());
    fd = create_new(temp.c_str());
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    in_flight.store(nullptr);
    return WriteResult::kCannotOpen;
  }

  WriteResult result = WriteResult::kWritten;
  std::FILE* f = open_stream(fd);
  if (f == nullptr) {
    close_fd(fd);
    result = WriteResult::kCannotWrite;
  } else {
    const bool written = std::fwrite(bytes, 1, size, f) == size &&
                         std::fflush(f) == 0 && sync_file(f);
    const bool closed = std::fclose(f) == 0;
    if (!written || !closed) {
      result = WriteResult::kCannotWrite;
    } else if (!move_into_place(temp.c_str(), target.c_str())) {
      result = WriteResult::kCannotOpen;
    }
  }
  if (result != WriteResult::kWritten) remove_file(temp.c_str());
  in_flight.store(nullptr);
  return result;
}

static_assert(std::size(kStopSignals) <= std::size(StopSignals{}.previous));

StopSignals catch_stop_signals() {
  StopSignals saved;
  for (std::size_t i = 0; i < std::size(kStopSignals); ++i) {
    saved.previous[i] = std::signal(kStopSignals[i], remove_in_flight_and_stop);
    // A run started to ignore a signal (nohup, a background job) keeps
    // ignoring it.
    if (saved.previous[i] == SIG_IGN) std::signal(kStopSignals[i], SIG_IGN);
  }
  return saved;
}

void release_stop_signals(const StopSignals& saved) {
  for (std::size_t i = 0; i < std::size(kStopSignals); ++i) {
    if (saved.previous[i] != SIG_ERR) {
      std::signal(kStopSignals[i], saved.previous[i]);
    }
  }
}
