#include "tests/test_util.h"

#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

bool load_bytes(const std::vector<unsigned char>& bytes, BankImage& image, BankRefusal* why) {
  std::FILE* f = std::tmpfile();
  if (f == nullptr) throw std::runtime_error("tmpfile");
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::rewind(f);
  const bool ok = load_bank(image, f, why);
  std::fclose(f);
  return ok;
}

std::string capture(const std::function<void(std::FILE*)>& print) {
  std::FILE* f = std::tmpfile();
  if (f == nullptr) throw std::runtime_error("tmpfile");
  print(f);
  std::rewind(f);
  std::string text;
  for (int c; (c = std::fgetc(f)) != EOF;) text.push_back(static_cast<char>(c));
  std::fclose(f);
  return text;
}

ScratchDir::ScratchDir() {
  std::string pattern =
      (std::filesystem::temp_directory_path() / "vortrim-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
  path = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  std::filesystem::remove_all(path, ec);
}

std::vector<unsigned char> read_bytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::map<std::string, std::vector<unsigned char>> files_under(const std::filesystem::path& dir) {
  namespace fs = std::filesystem;
  std::map<std::string, std::vector<unsigned char>> files;
  std::error_code none;  // a missing folder holds nothing
  for (const auto& entry : fs::recursive_directory_iterator(dir, none)) {
    std::vector<unsigned char>& bytes = files[entry.path().lexically_relative(dir).generic_string()];
    if (entry.is_symlink()) {
      const std::string target = "-> " + fs::read_symlink(entry.path()).string();
      bytes.assign(target.begin(), target.end());
    } else if (entry.is_fifo()) {
      bytes = {'|'};
    } else if (entry.is_regular_file()) {
      bytes = read_bytes(entry.path());
    }
  }
  return files;
}

std::string run_command(const std::vector<std::string>& words) {
  std::vector<char*> argv;
  for (const std::string& w : words) argv.push_back(const_cast<char*>(w.c_str()));
  argv.push_back(nullptr);
  int ends[2];
  if (pipe(ends) != 0) throw std::runtime_error("pipe");
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork");
  if (pid == 0) {
    if (dup2(ends[1], 1) < 0 || dup2(ends[1], 2) < 0) _exit(126);
    close(ends[0]);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  close(ends[1]);
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = read(ends[0], buffer, sizeof buffer)) > 0;) text.append(buffer, n);
  close(ends[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return text;
}
