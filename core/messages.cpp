#include "core/messages.h"

#include <cstring>

const char kUsageText[] =
    "vortrim usage:\n"
    "\n"
    "vortrim -i<infile> [-e<outpath>] [-l]\n"
    "Parameters: (in any order, lower or upper case)\n"
    "  -i<infile>     : read <K5000 bank (.KAA) file>\n"
    "  -e<outpath>    : extract .KA1 files to <destination path>\n"
    "  -l             : list patches\n";

namespace {

// Whether `name` ends in the single-patch file's extension, in any case.
bool names_a_patch_file(const std::string& name) {
  const std::size_t n = std::strlen(kPatchFileExtension);
  if (name.size() < n) return false;
  for (std::size_t i = 0; i < n; ++i) {
    const char c = name[name.size() - n + i];
    const char want = kPatchFileExtension[i];
    if (c != want && !(want >= 'A' && want <= 'Z' && c == want + ('a' - 'A'))) return false;
  }
  return true;
}

}  // namespace

std::string extracting_to(const std::string& dir) {
  return "\nExtracting to path \"" + dir + "\"...";
}

std::string refusal_words(const BankRefusal& why) {
  const std::string patch = "patch " + std::to_string(why.patch);
  switch (why.kind) {
    case Refusal::kNone:
      break;
    case Refusal::kReadError:
      return "could not be read: the system reported an error.";
    case Refusal::kTooShort:
      return "is not a K5000 bank: it is too short to be one.";
    case Refusal::kOutside:
      return "is not a K5000 bank: its table points outside patch memory.";
    case Refusal::kTooManySources:
      return "is damaged: " + patch + " claims " + std::to_string(why.sources) +
             " sources, and a patch has at most " + std::to_string(kMaxSources) + ".";
    case Refusal::kCutOff:
      return "is cut off: " + patch + " ends past the end of the file.";
  }
  return "";
}

std::string bank_refusal(const std::string& bank_name, const BankRefusal& why) {
  std::string message = "\"" + bank_name + "\" " + refusal_words(why);
  // A patch file given for a bank is an easy slip: say what it is.
  if (names_a_patch_file(bank_name)) {
    message += std::string(" A ") + kPatchFileExtension + " file holds one patch, not a bank.";
  }
  return message;
}

std::string renamed_for_windows_reason(const std::string& forbidden, bool control,
                                       bool trailing, const std::string& device) {
  std::string reason;
  if (!forbidden.empty() || control) {
    reason = "Windows does not allow ";
    for (std::size_t i = 0; i < forbidden.size(); ++i) {
      reason += (i == 0 ? "" : i + 1 == forbidden.size() && !control ? " or " : ", ");
      reason += forbidden[i];
    }
    if (control) reason += forbidden.empty() ? "control characters" : " or control characters";
    reason += " in a name";
  }
  if (trailing) {
    reason += (reason.empty() ? "" : "; ") +
              std::string("Windows drops dots and spaces at the end of a name");
  }
  if (!device.empty()) {
    reason += (reason.empty() ? "" : "; ") + ("Windows keeps " + device) + " for a device";
  }
  return reason.empty() ? reason : "renamed: " + reason;
}
