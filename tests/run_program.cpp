#include "tests/run_program.h"

#include <fcntl.h>
#include <termios.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <grp.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <iterator>
#include <cstdlib>
#include <stdexcept>

#include "tests/test_util.h"

namespace {

std::string slurp_text(const std::string& path) {
  std::ifstream in(path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string slurp(const std::filesystem::path& path) {
  const std::vector<unsigned char> bytes = read_bytes(path);
  return {bytes.begin(), bytes.end()};
}

// Above the kernel's largest process number (2^22).
constexpr long kNoProcess = 4194305;

#ifdef VORTRIM_WINE
constexpr bool kUnderWine = true;
#else
constexpr bool kUnderWine = false;
#endif

// The words that start the program under test, or under Wine another
// Windows program (`other`) that starts it in its turn.
std::vector<std::string> program_command(const std::string& other) {
  const std::string program = VORTRIM_PROGRAM;
#ifdef VORTRIM_WINE
  // A Windows case that ran anything but vortrim.exe under Wine would prove
  // nothing about Windows: refuse to start it.
  const std::string wine = VORTRIM_WINE;
  if (!program.ends_with("/vortrim.exe") || !std::filesystem::exists(program) ||
      wine.find("wine") == std::string::npos || !std::filesystem::exists(wine)) {
    throw std::runtime_error("the Windows cases must run vortrim.exe under Wine, not " +
                             wine + " " + program);
  }
  return {wine, other.empty() ? program : other};
#else
  if (!other.empty()) throw std::runtime_error("only under Wine: " + other);
  return {program};
#endif
}

#ifndef VORTRIM_WINE
// The program and the fault shim where a plain user may reach them: copies
// in a folder that anyone may enter, wherever the build lies (a checkout
// below /root keeps the plain user out). Made on first use, removed when
// the tests end.
struct PlainCopies {
  std::filesystem::path dir, program, shim;
  PlainCopies() {
    namespace fs = std::filesystem;
    std::string pattern = (fs::temp_directory_path() / "vortrim-plain-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) return;
    dir = pattern;
    program = dir / "vortrim";
    shim = dir / "fault_shim.so";
    std::error_code ec;
    fs::permissions(dir, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                             fs::perms::others_read | fs::perms::others_exec, ec);
    fs::copy_file(VORTRIM_PROGRAM, program, ec);
    fs::copy_file(VORTRIM_FAULT_SHIM, shim, ec);
  }
  ~PlainCopies() {
    std::error_code ec;
    if (!dir.empty()) std::filesystem::remove_all(dir, ec);
  }
};

const PlainCopies& plain_copies() {
  static const PlainCopies copies;
  return copies;
}
#endif

}  // namespace

namespace {

// The program's standard output (-1: a file the child opens) and the end
// the harness keeps (-1: none).
struct OutputEnds {
  int out = -1;
  int watched = -1;
};

OutputEnds open_output(Stdout kind) {
  OutputEnds ends;
  if (kind == Stdout::kCaptured) return ends;
  if (kind == Stdout::kTerminal) {
    ends.watched = posix_openpt(O_RDWR | O_NOCTTY);
    termios raw;  // line breaks as written, no echo
    if (ends.watched < 0 || grantpt(ends.watched) != 0 || unlockpt(ends.watched) != 0 ||
        (ends.out = open(ptsname(ends.watched), O_RDWR | O_NOCTTY)) < 0 ||
        tcgetattr(ends.out, &raw) != 0) {
      throw std::runtime_error("pseudo-terminal");
    }
    cfmakeraw(&raw);
    if (tcsetattr(ends.out, TCSANOW, &raw) != 0 || fcntl(ends.watched, F_SETFL, O_NONBLOCK) != 0) {
      throw std::runtime_error("pseudo-terminal");
    }
    return ends;
  }
  int pipe_ends[2];
  if (pipe(pipe_ends) != 0) throw std::runtime_error("pipe");
  ends = {pipe_ends[1], pipe_ends[0]};
  if (kind == Stdout::kGone) {
    close(ends.watched);
    ends.watched = -1;
    return ends;
  }
  if (fcntl(ends.out, F_SETPIPE_SZ, 4096) < 0) throw std::runtime_error("pipe size");
  if (kind == Stdout::kClogged) {
    if (fcntl(ends.out, F_SETFL, O_NONBLOCK) != 0 || fcntl(ends.watched, F_SETFL, O_NONBLOCK) != 0) {
      throw std::runtime_error("pipe");
    }
    const std::string page(4096, '#');
    while (write(ends.out, page.data(), page.size()) > 0) {
    }
  }
  return ends;
}

// In the child, before the program starts: its limits, signals and
// preloaded faults as `options` say. False on any failure.
bool set_up_process(const RunOptions& options) {
  if (options.file_size_limit > 0) {
    // Past the limit a write fails with EFBIG instead of ending the process.
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{static_cast<rlim_t>(options.file_size_limit),
                       static_cast<rlim_t>(options.file_size_limit)};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return false;
  }
  // As a shell starts it: a write to a closed pipe raises SIGPIPE.
  signal(SIGPIPE, SIG_DFL);
  if (options.ignore_hangup) signal(SIGHUP, SIG_IGN);
  if (options.open_files > 0) {
    rlimit files;
    if (getrlimit(RLIMIT_NOFILE, &files) != 0) return false;
    files.rlim_cur = static_cast<rlim_t>(options.open_files);
    if (setrlimit(RLIMIT_NOFILE, &files) != 0) return false;
  }
  if (options.faults.empty()) return true;
#ifdef VORTRIM_FAULT_SHIM
  std::string faults;
  for (const Fault& f : options.faults) {
    faults += f.call + ":" + std::to_string(f.at) + ":" + std::to_string(f.signal) + ":" +
              std::to_string(f.error) + ";";
  }
  const std::string shim = options.user == User::kPlain ? plain_copies().shim.string()
                                                        : std::string(VORTRIM_FAULT_SHIM);
  return setenv("LD_PRELOAD", shim.c_str(), 1) == 0 &&
         setenv("VORTRIM_FAULTS", faults.c_str(), 1) == 0 &&
         // Lets a sanitized build start with the shim loaded before it.
         setenv("ASAN_OPTIONS", "verify_asan_link_order=0", 1) == 0;
#else
  return false;  // the shim cannot reach into Wine
#endif
}

// In the child: other runs' temporary files, each kept open across the exec
// so that a lock lives as long as the program. False on any failure.
bool make_temp_files(const RunOptions& options) {
  for (const TempFile& temp : options.temps) {
    const long owner = temp.owner == TempFile::kSame     ? getpid()
                       : temp.owner == TempFile::kParent ? getppid()
                                                         : kNoProcess;
    const std::string path =
        options.temps_in + "/vortrim-incomplete-" + std::to_string(owner) + "-1.tmp";
    // Readable by all, so that only the liveness check and the lock keep it
    // from a run of another user.
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0 || write(fd, "live", 4) != 4 || (temp.locked && flock(fd, LOCK_EX) != 0)) {
      return false;
    }
    if (!temp.locked) close(fd);
  }
  return true;
}

// In the child: becomes the user the program runs as, with the environment
// it runs in, and (if asked) a PID namespace's first process, whose parent
// waits for it and ends as it did. False on any failure.
bool become(const RunOptions& options) {
  if (options.user == User::kPlain &&
      (setgroups(0, nullptr) != 0 || setgid(kPlainGid) != 0 || setuid(kPlainUid) != 0)) {
    return false;
  }
#ifdef VORTRIM_WINE
  // The same Windows code page whatever the caller's locale, or none: Wine
  // takes it from the Unix locale.
  if (setenv("WINEPREFIX", VORTRIM_WINE_PREFIX, 1) != 0 ||
      setenv("WINEDEBUG", "-all", 1) != 0 || setenv("LC_ALL", "C.UTF-8", 1) != 0 ||
      setenv("WINEDLLOVERRIDES", VORTRIM_WINE_DLL_OVERRIDES, 1) != 0) {
    return false;
  }
#endif
  if (!options.own_pid_namespace) return true;
  if (unshare(CLONE_NEWPID) != 0) return false;
  const pid_t inner = fork();
  if (inner < 0) return false;
  if (inner > 0) {
    int inner_status = 0;
    if (waitpid(inner, &inner_status, 0) != inner) _exit(126);
    if (WIFSIGNALED(inner_status)) raise(WTERMSIG(inner_status));
    _exit(WIFEXITED(inner_status) ? WEXITSTATUS(inner_status) : 126);
  }
  return true;
}

// The child: standard streams, folder and process set up, then the program.
[[noreturn]] void start_program(std::vector<char*>& argv, const std::filesystem::path& cwd,
                                const RunOptions& options, int out, const std::string& out_path,
                                const std::string& err_path) {
  if (out < 0) out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  const int in = open("/dev/null", O_RDONLY);
  if (out < 0 || err < 0 || in < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 ||
      dup2(in, 0) < 0 || chdir(cwd.c_str()) != 0 || !set_up_process(options) ||
      !make_temp_files(options) || !become(options)) {
    _exit(126);
  }
  execv(argv[0], argv.data());
  _exit(127);
}

// Waits for the program to end, calling `while_stopped` whenever it stops
// and watching its output (`watched`) as it goes: a terminal's, read into
// `shown`; a stalled pipe's, until the program is stuck writing to it.
// Returns the wait status.
int watch(pid_t pid, int watched, const RunOptions& options, RunResult& result,
          std::string& shown) {
  int status = 0;
  if (watched < 0) {
    for (;;) {
      if (waitpid(pid, &status, WUNTRACED) != pid) throw std::runtime_error("waitpid");
      if (!WIFSTOPPED(status)) return status;
      if (options.while_stopped) options.while_stopped();
      kill(pid, SIGCONT);
    }
  }
  const auto take = [&] {
    char buffer[4096];
    for (ssize_t n; (n = read(watched, buffer, sizeof buffer)) > 0;) shown.append(buffer, n);
  };
  bool draining = false;  // kStalled with while_stopped, once it was called
  int queued = 0, last = 0, quiet = 0;
  const std::string wchan = "/proc/" + std::to_string(pid) + "/wchan";
  for (;;) {
    const pid_t seen = waitpid(pid, &status, WNOHANG | WUNTRACED);
    if (seen < 0) throw std::runtime_error("waitpid");
    if (options.stdout == Stdout::kTerminal || draining) take();
    if (seen == pid && !WIFSTOPPED(status)) break;
    if (seen == pid) {
      if (options.stdout == Stdout::kClogged) take();  // room at last
      result.shown_when_stopped = shown;
      if (options.while_stopped) options.while_stopped();
      kill(pid, SIGCONT);
    }
    if (options.stdout == Stdout::kStalled) {
      // Stuck writing to the pipe: the kernel says so, or nothing more
      // has come for a second.
      if (ioctl(watched, FIONREAD, &queued) != 0) queued = 0;
      quiet = queued > 0 && queued == last ? quiet + 1 : 0;
      last = queued;
      const bool stuck =
          slurp_text(wchan).find("pipe_write") != std::string::npos || quiet >= 100;
      if (stuck && !draining && options.while_stopped) {
        options.while_stopped();
        draining = true;
        if (fcntl(watched, F_SETFL, O_NONBLOCK) != 0) throw std::runtime_error("pipe");
      } else if (stuck && !draining) {
        kill(pid, SIGKILL);
      }
    }
    usleep(10000);
  }
  close(watched);
  if (!draining && options.stdout != Stdout::kTerminal) shown.clear();
  return status;
}

}  // namespace

RunResult run_program(const std::vector<std::string>& args,
                      const std::filesystem::path& cwd,
                      const RunOptions& options) {
  std::vector<std::string> words = program_command(options.windows_program);
#ifndef VORTRIM_WINE
  if (options.user == User::kPlain) words[0] = plain_copies().program.string();
#endif
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);

  // Captures live apart from `cwd`, which a test may want to see untouched.
  const ScratchDir captures;
  const bool capture_file = options.stdout == Stdout::kCaptured && options.stdout_path.empty();
  const std::string out_path =
      capture_file ? (captures.path / "out").string() : options.stdout_path;
  const std::string err_path = (captures.path / "err").string();
  const OutputEnds ends = open_output(options.stdout);
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork");
  if (pid == 0) start_program(argv, cwd, options, ends.out, out_path, err_path);
  if (ends.out >= 0) close(ends.out);

  RunResult result;
  std::string shown;  // what came through the watched end, where it counts
  const int status = watch(pid, ends.watched, options, result, shown);
  result.pid = static_cast<int>(pid);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  result.out = capture_file ? slurp(out_path) : shown;
  result.err = slurp(err_path);
  // Only the Windows build ends its lines in CR LF: a bare LF here means a
  // Linux build slipped into the Windows cases.
  for (std::size_t i = 0; kUnderWine && i < result.out.size(); ++i) {
    if (result.out[i] == '\n' && (i == 0 || result.out[i - 1] != '\r')) {
      throw std::runtime_error("output with a bare LF: not the Windows build");
    }
  }
  return result;
}

std::string as_output(const std::string& text) {
  if (!kUnderWine) return text;
  std::string crlf;
  for (char c : text) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  return crlf;
}

char program_separator() { return kUnderWine ? '\\' : '/'; }

bool runs_natively() { return !kUnderWine; }

bool plain_user_available() {
#ifdef VORTRIM_WINE
  return false;
#else
  if (geteuid() != 0) return false;
  const std::string program = plain_copies().program, shim = plain_copies().shim;
  const pid_t pid = fork();
  if (pid == 0) {
    const bool allowed = setgroups(0, nullptr) == 0 && setgid(kPlainGid) == 0 &&
                         setuid(kPlainUid) == 0 && access(program.c_str(), X_OK) == 0 &&
                         access(shim.c_str(), R_OK) == 0;
    _exit(allowed ? 0 : 1);
  }
  int status = 1;
  return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
#endif
}

bool portable_posix() {
#ifdef VORTRIM_PORTABLE_POSIX
  return true;
#else
  return false;
#endif
}

std::string program_path() { return VORTRIM_PROGRAM; }

std::string windows_path(const std::filesystem::path& path) {
  std::string windows = "Z:" + std::filesystem::absolute(path).string();
  for (char& c : windows) {
    if (c == '/') c = '\\';
  }
  return windows;
}

DropTargetFiles drop_target() {
#ifdef VORTRIM_DROP_STARTER
  return {VORTRIM_DROP_SCRIPT, VORTRIM_DROP_STARTER};
#else
  return {};
#endif
}

std::string temp_file_name(const TempFile& temp, int pid) {
  const long owner = temp.owner == TempFile::kSame     ? pid
                     : temp.owner == TempFile::kParent ? static_cast<long>(getpid())
                                                       : kNoProcess;
  return "vortrim-incomplete-" + std::to_string(owner) + "-1.tmp";
}
