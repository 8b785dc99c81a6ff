// Preloaded into the program by the command-line tests (LD_PRELOAD): at the
// Nth fwrite to a stream other than standard output, N from
// VORTRIM_STOP_AT_WRITE, half the bytes reach the file and then SIGTERM
// arrives, as when a user stops the run at the worst moment.

#include <dlfcn.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

extern "C" std::size_t fwrite(const void* data, std::size_t size, std::size_t count,
                              std::FILE* stream) {
  using Fwrite = std::size_t (*)(const void*, std::size_t, std::size_t, std::FILE*);
  static const auto real = reinterpret_cast<Fwrite>(dlsym(RTLD_NEXT, "fwrite"));
  static int writes = 0;
  const char* stop_at = std::getenv("VORTRIM_STOP_AT_WRITE");
  if (stream != stdout && stop_at != nullptr && ++writes == std::atoi(stop_at)) {
    real(data, 1, size * count / 2, stream);
    std::fflush(stream);
    std::raise(SIGTERM);
  }
  return real(data, size, count, stream);
}
