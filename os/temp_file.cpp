#include "os/temp_file.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr char kTempPrefix[] = "vortrim-incomplete-";
constexpr char kTempSuffix[] = ".tmp";

// Enough for every live run's files that could share a number with this
// one; more names than that means something else is wrong.
constexpr int kTempTries = 100;

}  // namespace

bool is_temp_file_name(const std::string& name, long* owner) {
  const std::size_t prefix = std::strlen(kTempPrefix), suffix = std::strlen(kTempSuffix);
  const bool is_one = name.size() > prefix + suffix && name.compare(0, prefix, kTempPrefix) == 0 &&
                      name.compare(name.size() - suffix, suffix, kTempSuffix) == 0;
  if (is_one && owner != nullptr) *owner = std::strtol(name.c_str() + prefix, nullptr, 10);
  return is_one;
}

std::string temp_file_pattern() { return std::string(kTempPrefix) + "*" + kTempSuffix; }

bool make_temp_file(long pid, int& next,
                    const std::function<TempAttempt(const std::string& name)>& make) {
  for (int tries = 0; tries < kTempTries; ++tries) {
    const std::string name =
        kTempPrefix + std::to_string(pid) + "-" + std::to_string(next++) + kTempSuffix;
    switch (make(name)) {
      case TempAttempt::kMade:
        return true;
      case TempAttempt::kFailed:
        return false;
      case TempAttempt::kTaken:
        break;
    }
  }
  return false;
}
