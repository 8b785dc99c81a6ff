#include "tests/run_program.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

#include "tests/test_util.h"

namespace {

std::string setting(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : fallback;
}

std::string slurp(const std::filesystem::path& path) {
  const std::vector<unsigned char> bytes = read_bytes(path);
  return {bytes.begin(), bytes.end()};
}

bool under_wine() { return setting("VORTRIM_TEST_HOST", "linux") == "wine"; }

}  // namespace

RunResult run_program(const std::vector<std::string>& args,
                      const std::filesystem::path& cwd,
                      const RunOptions& options) {
  std::vector<std::string> words;
  std::istringstream command(setting("VORTRIM_TEST_COMMAND", VORTRIM_PROGRAM));
  for (std::string word; command >> word;) words.push_back(word);
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);

  // Captures live apart from `cwd`, which a test may want to see untouched.
  const ScratchDir captures;
  const bool capture_out = options.stdout_path.empty();
  const std::string out_path =
      capture_out ? (captures.path / "out").string() : options.stdout_path;
  const std::string err_path = (captures.path / "err").string();

  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork");
  if (pid == 0) {
    const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int in = open("/dev/null", O_RDONLY);
    if (out < 0 || err < 0 || in < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 ||
        dup2(in, 0) < 0 || chdir(cwd.c_str()) != 0) {
      _exit(126);
    }
    if (options.file_size_limit > 0) {
      // Past the limit a write fails with EFBIG instead of ending the process.
      signal(SIGXFSZ, SIG_IGN);
      const rlimit limit{static_cast<rlim_t>(options.file_size_limit),
                         static_cast<rlim_t>(options.file_size_limit)};
      if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
    }
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) throw std::runtime_error("waitpid");
  RunResult result;
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (capture_out) result.out = slurp(out_path);
  result.err = slurp(err_path);
  return result;
}

std::string as_output(const std::string& text) {
  if (!under_wine()) return text;
  std::string crlf;
  for (char c : text) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  return crlf;
}

char program_separator() { return under_wine() ? '\\' : '/'; }

bool runs_natively() { return !under_wine(); }
