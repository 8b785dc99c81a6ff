#include "core/messages.h"

#include "core/naming.h"

const char kUsageText[] =
    "vortrim usage:\n"
    "\n"
    "vortrim -i<infile> [-e<outpath>] [-l]\n"
    "Parameters: (in any order, lower or upper case)\n"
    "  -i<infile>     : read <K5000 bank (.KAA) file>\n"
    "  -e<outpath>    : extract .KA1 files to <destination path>\n"
    "  -l             : list patches\n";

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
  if (has_extension(bank_name, kPatchFileExtension)) {
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

namespace {

// "1 bank", "2 banks".
std::string counted(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

std::string place_of_copy(const std::string& bank, int slot) {
  return (bank.empty() ? "" : bank + ", ") + "slot " + std::to_string(slot);
}

std::string copies_note(const std::vector<std::string>& named, std::size_t count) {
  if (count == 0) return "";
  std::string note = "also in ";
  for (std::size_t i = 0; i < named.size(); ++i) note += (i == 0 ? "" : "; ") + named[i];
  if (count > named.size()) note += "; and " + std::to_string(count - named.size()) + " more";
  return note;
}

std::string same_patches_note(const std::string& other, bool equal, std::size_t more) {
  std::string note = (equal ? "The same patches as " : "All its patches are also in ") + other;
  if (more > 0) note += ", and in " + counted(more, "more bank", "more banks");
  return note + ".";
}

std::string totals(std::size_t banks, std::size_t patches, std::size_t copies,
                   std::size_t refused, int skipped) {
  std::string line = counted(banks, "bank", "banks") + ", " + std::to_string(patches) + " patches";
  if (copies > 0) line += " (" + std::to_string(copies) + " also in another bank)";
  if (refused > 0) line += ", " + std::to_string(refused) + " could not be read";
  if (skipped > 0) line += ", " + other_files_skipped(skipped);
  return line + ".";
}

std::string other_files_skipped(int count) {
  return std::to_string(count) + " other " + (count == 1 ? "file" : "files") + " skipped";
}

std::string reading_status(std::size_t count, const std::string& first) {
  return "Reading " + (count == 1 ? first : std::to_string(count) + " banks") + "\u2026";
}

std::string added_status(std::size_t added, std::size_t refused, std::size_t skipped,
                         std::size_t repeated, const std::string& first) {
  std::string said;
  if (added == 1) {
    said = refused > 0 ? first + " could not be read: see above the banks." : "Added " + first + ".";
  } else {
    said = "Added " + std::to_string(added) + " banks" +
           (refused > 0 ? "; " + std::to_string(refused) + " could not be read, shown above the rest."
                        : ".");
  }
  if (skipped > 0) said += " " + other_files_skipped(static_cast<int>(skipped)) + ".";
  if (repeated > 0) said += " " + std::to_string(repeated) + (repeated == 1 ? " was" : " were") + " shown already.";
  return said;
}

std::string cleared_status() { return "Cleared."; }

std::string zipping_status() { return "Making the .zip\u2026"; }

std::string zipped_status(std::size_t banks) {
  return "The .zip holds " + counted(banks, "bank", "banks") + " in folders of their own.";
}

std::string zip_failed_status(const std::string& error) {
  return "Could not make the .zip: " + error;
}

std::string folder_refused_status(const std::string& error) {
  return "Could not open that folder: " + error;
}

std::string saved_status(std::size_t files, const std::string& folder) {
  return "Saved " + std::to_string(files) + " files into " + folder + ".";
}

std::string save_failed_status(const std::string& folder, const std::string& error,
                               std::size_t saved, std::size_t total) {
  return "Could not write into " + folder + ": " + error + " " + std::to_string(saved) + " of " +
         std::to_string(total) + " files were saved.";
}

std::string found_status(std::size_t count, std::size_t shown) {
  if (count == 0) return "No patch has that in its name.";
  return counted(count, "patch", "patches") +
         (count > shown ? "; the first " + std::to_string(shown) + " are shown." : ".");
}
