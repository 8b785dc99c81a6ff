#include "tests/test_util.h"

#include <stdlib.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

bool load_bytes(const std::vector<unsigned char>& bytes, BankImage& image,
                std::string* err) {
  std::FILE* f = std::tmpfile();
  if (f == nullptr) throw std::runtime_error("tmpfile");
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::rewind(f);
  const bool ok = load_bank(image, f, err);
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
