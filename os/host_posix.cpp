#include <sys/stat.h>
#include <unistd.h>

#include <csignal>

#include "os/host.h"

bool prepare_output() {
  // A write to a pipe whose reader is gone fails instead of ending the
  // process, as on Windows; the exit handler reports the lost output.
  std::signal(SIGPIPE, SIG_IGN);
  const bool terminal = isatty(fileno(stdout)) != 0;
  if (terminal) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
  } else {
    std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
  }
  return terminal;
}

void restore_output() {}

std::FILE* open_bank_file(const std::string& path) {
  std::FILE* in = std::fopen(path.c_str(), "rb");
  // fopen succeeds on a folder here; it is no bank file.
  struct stat st;
  if (in != nullptr && fstat(fileno(in), &st) == 0 && S_ISDIR(st.st_mode)) {
    std::fclose(in);
    return nullptr;
  }
  return in;
}

std::string host_text(const std::string& name) { return name; }

NameRules host_name_rules() { return NameRules::kPosix; }

char host_separator() { return '/'; }
