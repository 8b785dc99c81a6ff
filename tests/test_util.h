// Small helpers shared by the unit tests.

#ifndef VORTRIM_TESTS_TEST_UTIL_H
#define VORTRIM_TESTS_TEST_UTIL_H

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/bank_image.h"

// Names a parameterised case after its `what`, so that a failure says which.
struct NameByWhat {
  template <class Case>
  std::string operator()(const testing::TestParamInfo<Case>& info) const {
    std::string name;
    for (const char* c = info.param.what; *c != '\0'; ++c) {
      name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
    }
    return name;
  }
};

// Loads `bytes` as a bank file through a real stream, as the program does.
bool load_bytes(const std::vector<unsigned char>& bytes, BankImage& image, BankRefusal* why);

// What `print` writes to the stream it is given.
std::string capture(const std::function<void(std::FILE*)>& print);

// A fresh empty directory, removed with everything in it when the scope ends.
struct ScratchDir {
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  std::filesystem::path path;
};

std::vector<unsigned char> read_bytes(const std::filesystem::path& path);

// Everything under `dir`, by path relative to it: a file with its bytes, a
// folder with none, a link as "-> target" (so that it cannot pass for a
// file) and a FIFO as "|".
std::map<std::string, std::vector<unsigned char>> files_under(const std::filesystem::path& dir);

// What a command (words[0], looked up in PATH) prints on standard output and
// standard error together.
std::string run_command(const std::vector<std::string>& words);

#endif  // VORTRIM_TESTS_TEST_UTIL_H
