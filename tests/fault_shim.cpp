// Preloaded into the program by the command-line tests (LD_PRELOAD) to
// disturb calls of the write path, as a user, a full disk or a power cut
// would. VORTRIM_FAULTS lists the faults, "call:n:signal:errno;...": at the
// nth call of `call` (every call where n is -1: "write", "tmpfile" for an
// unnamed temporary file, "sync_file_range", "linkat", "linkat-fd" for one
// that links a descriptor itself, "renameat", "syncfs", "fsync", or "read"
// for a read of the C library's buffer from the bank file),
//   a signal (if not 0) arrives first; a write gets half its bytes to the
//   file before it;
//   else an errno (if not 0) makes the call fail without doing anything;
//   with neither, a write writes half its bytes and says so.
// Standard output is written by the C library's own calls, which a preloaded
// library cannot see, so only the program's direct calls are counted.

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct Fault {
  char call[32] = "";
  int at = 0;
  int signal = 0;
  int error = 0;
  int calls = 0;
};

constexpr int kMaxFaults = 4;

Fault* faults() {
  static Fault list[kMaxFaults];
  static bool read = false;
  if (!read) {
    read = true;
    const char* text = std::getenv("VORTRIM_FAULTS");
    for (int i = 0; text != nullptr && i < kMaxFaults; ++i) {
      Fault& f = list[i];
      if (std::sscanf(text, "%31[^:]:%d:%d:%d", f.call, &f.at, &f.signal, &f.error) != 4) break;
      text = std::strchr(text, ';');
      if (text != nullptr) ++text;
    }
  }
  return list;
}

// The fault for this call of `call`, if it is one to disturb.
const Fault* disturbed(const char* call) {
  for (int i = 0; i < kMaxFaults; ++i) {
    Fault& f = faults()[i];
    if (f.at != 0 && std::strcmp(f.call, call) == 0 && (f.at < 0 || ++f.calls == f.at)) {
      return &f;
    }
  }
  return nullptr;
}

// Raises the fault's signal, or sets its errno; true if the call must fail.
bool strike(const Fault* f) {
  if (f == nullptr) return false;
  if (f->signal != 0) std::raise(f->signal);
  errno = f->error;
  return f->error != 0;
}

template <class Function>
Function real(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

bool wanted(const char* call) {
  for (int i = 0; i < kMaxFaults; ++i) {
    if (faults()[i].at != 0 && std::strcmp(faults()[i].call, call) == 0) return true;
  }
  return false;
}

// The bank file's reads, which the C library makes by calls of its own, go
// through here when a read is to be disturbed.
ssize_t read_bank(void* cookie, char* buffer, std::size_t size) {
  if (strike(disturbed("read"))) return -1;
  const std::size_t n = std::fread(buffer, 1, size, static_cast<std::FILE*>(cookie));
  return n == 0 && std::ferror(static_cast<std::FILE*>(cookie)) ? -1 : static_cast<ssize_t>(n);
}

int close_bank(void* cookie) { return std::fclose(static_cast<std::FILE*>(cookie)); }

}  // namespace

// The bank is the one file the program opens for reading in binary.
extern "C" std::FILE* fopen(const char* path, const char* mode) {
  static const auto next = real<std::FILE* (*)(const char*, const char*)>("fopen");
  std::FILE* f = next(path, mode);
  if (f == nullptr || std::strcmp(mode, "rb") != 0 || !wanted("read")) return f;
  return fopencookie(f, "rb", {read_bank, nullptr, nullptr, close_bank});
}

extern "C" ssize_t write(int fd, const void* data, std::size_t size) {
  static const auto next = real<ssize_t (*)(int, const void*, std::size_t)>("write");
  const Fault* f = disturbed("write");
  if (f == nullptr) return next(fd, data, size);
  if (f->error != 0) return strike(f) ? -1 : next(fd, data, size);
  const ssize_t half = next(fd, data, size / 2);
  if (f->signal == 0 || half < 0) return half;
  strike(f);
  // The signal was ignored: the write goes on as it would have.
  const ssize_t rest = next(fd, static_cast<const char*>(data) + half, size - half);
  return rest < 0 ? half : half + rest;
}

extern "C" int openat(int dir, const char* path, int flags, ...) {
  static const auto next = real<int (*)(int, const char*, int, ...)>("openat");
  mode_t mode = 0;
  if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
    va_list rest;
    va_start(rest, flags);
    mode = va_arg(rest, mode_t);
    va_end(rest);
  }
  if ((flags & O_TMPFILE) == O_TMPFILE && strike(disturbed("tmpfile"))) return -1;
  return next(dir, path, flags, mode);
}

extern "C" int sync_file_range(int fd, off64_t from, off64_t count, unsigned flags) {
  static const auto next = real<int (*)(int, off64_t, off64_t, unsigned)>("sync_file_range");
  return strike(disturbed("sync_file_range")) ? -1 : next(fd, from, count, flags);
}

extern "C" int linkat(int from_dir, const char* from, int to_dir, const char* to, int flags) {
  static const auto next = real<int (*)(int, const char*, int, const char*, int)>("linkat");
  // Kernels before 6.10 let only root link a descriptor itself.
  if (strike(disturbed("linkat")) ||
      ((flags & AT_EMPTY_PATH) != 0 && strike(disturbed("linkat-fd")))) {
    return -1;
  }
  return next(from_dir, from, to_dir, to, flags);
}

extern "C" int renameat(int from_dir, const char* from, int to_dir, const char* to) {
  static const auto next = real<int (*)(int, const char*, int, const char*)>("renameat");
  return strike(disturbed("renameat")) ? -1 : next(from_dir, from, to_dir, to);
}

extern "C" int syncfs(int fd) {
  static const auto next = real<int (*)(int)>("syncfs");
  return strike(disturbed("syncfs")) ? -1 : next(fd);
}

extern "C" int fsync(int fd) {
  static const auto next = real<int (*)(int)>("fsync");
  return strike(disturbed("fsync")) ? -1 : next(fd);
}
