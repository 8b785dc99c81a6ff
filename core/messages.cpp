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

namespace {

// "1 bank", "2 banks".
std::string counted(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// "0x9A".
std::string hex_byte(std::size_t value) {
  static const char digits[] = "0123456789ABCDEF";
  return std::string("0x") + digits[(value >> 4) & 15] + digits[value & 15];
}

}  // namespace

std::string extracting_to(const std::string& dir) {
  return "\nExtracting to path \"" + dir + "\"...";
}

std::string refusal_words(const BankRefusal& why) {
  const std::string patch = "patch " + std::to_string(why.patch);
  const std::string message = "message " + std::to_string(why.message);
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
    case Refusal::kNoSysEx:
      return "is not a SysEx file: it holds no System Exclusive message.";
    case Refusal::kOtherMaker:
      return "holds no patch of the K5000 synthesizer: its messages are for other instruments.";
    case Refusal::kNoPatch:
      return "holds no patch: its messages are the K5000 synthesizer's " +
             std::string(why.value == 0x20   ? "multis, not patches."
                         : why.value == 0x10 ? "drum kits, not patches."
                         : why.value == 0x11 ? "drum instruments, not patches."
                                             : "own, but none of them is a patch's dump.");
    case Refusal::kNoEnd:
      return "is cut off: " + message + " has no end.";
    case Refusal::kNotData:
      return "is damaged: " + message + " holds the byte " + hex_byte(why.value) +
             ", which MIDI cannot carry.";
    case Refusal::kSingleLength:
      return "is damaged: the patch for tone " + std::to_string(why.patch) + " is " +
             std::to_string(why.value) + " bytes long, and " +
             (why.expected == 0 ? std::string("too short for a patch.")
                                : "its sources make it " + std::to_string(why.expected) + ".");
    case Refusal::kBlockLength:
      return "is damaged: the patches of " + message + " take " + std::to_string(why.value) +
             " bytes, and their sources make them " + std::to_string(why.expected) + ".";
    case Refusal::kTooManyPatches:
      return "holds more than a bank: its patches take " + std::to_string(why.value) +
             " bytes, and the instrument's memory " + std::to_string(why.expected) + ".";
    case Refusal::kTooLarge:
      return "is larger than a SysEx file of one bank: it is " + std::to_string(why.value) +
             " bytes, and one is at most " + std::to_string(why.expected) + ".";
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
                   std::size_t failing, std::size_t refused, int skipped) {
  std::string line = counted(banks, "bank", "banks") + ", " + std::to_string(patches) + " patches";
  std::string of_them;
  if (copies > 0) of_them = std::to_string(copies) + " also in another bank";
  if (failing > 0) of_them += (of_them.empty() ? "" : "; ") + std::to_string(failing) + " fail a check";
  if (!of_them.empty()) line += " (" + of_them + ")";
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

std::string check_words(const PatchCheck& check) {
  std::vector<std::string> said;
  const char* refused = ": the instrument would refuse it, or the patch is damaged";
  if (check.checksum_fails) said.push_back(std::string("its checksum does not match") + refused);
  if (check.kit_fails != 0) {
    said.push_back("the checksum of its additive kit " + std::to_string(check.kit_fails) +
                   " does not match" + refused);
  }
  if (check.not_midi != 0 && check.in_name) {
    said.push_back("its name holds " +
                   windows_1252_to_utf8(std::string(1, static_cast<char>(check.not_midi))) +
                   ", which MIDI cannot carry");
  } else if (check.not_midi != 0) {
    said.push_back("its byte " + std::to_string(check.not_midi_at) + " is " + hex_byte(check.not_midi) +
                   ", which MIDI cannot carry: it did not come from the instrument as it is");
  }
  if (check.length_from_sources != 0) {
    said.push_back("its sources make it " + std::to_string(check.length_from_sources) +
                   " bytes long, not the bank's: the instrument would read it wrongly");
  }
  std::string words;
  for (const std::string& s : said) words += (words.empty() ? "" : "; ") + s;
  return words;
}

std::string patch_in_note(int slot, const std::string& name, const std::string& why) {
  return "slot " + std::to_string(slot) + ", " + name + " (" + why + ")";
}

std::string left_out_note(const std::string& syx, const std::vector<std::string>& patches) {
  if (patches.empty()) return "";
  std::string note = "Left out of " + syx + ", " +
                     (patches.size() == 1 ? "its .KA1 file kept as it is: "
                                          : "their .KA1 files kept as they are: ");
  for (std::size_t i = 0; i < patches.size(); ++i) note += (i == 0 ? "" : "; ") + patches[i];
  return note + ".";
}

std::string kept_marked_note(const std::string& syx, const std::vector<std::string>& patches) {
  if (patches.empty()) return "";
  std::string note = "In " + syx + " as " + (patches.size() == 1 ? "it is: " : "they are: ");
  for (std::size_t i = 0; i < patches.size(); ++i) note += (i == 0 ? "" : "; ") + patches[i];
  return note + ".";
}

std::string skipped_messages_note(int count) {
  return std::to_string(count) + (count == 1 ? " message that is no patch" : " messages that are no patch") +
         " skipped.";
}

std::string replaced_note(int tone, const std::string& name) {
  return "Tone " + std::to_string(tone) + " was given twice: the later patch is read, and " + name +
         " before it is replaced.";
}

std::string rescued_note(std::size_t count) {
  return counted(count, "whole patch", "whole patches") + " can be saved.";
}

namespace {

// "for bank A on channel 1".
std::string target_words(const DumpTarget& target) {
  return std::string("for bank ") + bank_letter(target.bank) + " on channel " +
         std::to_string(target.channel + 1);
}

}  // namespace

std::string sysex_status(const std::string& syx, std::size_t patches, const DumpTarget& target) {
  return syx + " holds " + counted(patches, "patch", "patches") + ", " + target_words(target) + ".";
}

std::string zipped_sysex_status(std::size_t files, std::size_t left_out, const DumpTarget& target) {
  std::string said = "The .zip holds " + counted(files, ".syx file", ".syx files") + ", " +
                     target_words(target);
  if (left_out > 0) {
    said += "; " + counted(left_out, "patch that MIDI cannot carry was", "patches that MIDI cannot carry were") +
            " left out (open a bank to see which)";
  }
  return said + ".";
}

std::string answer_words(Answer answer) {
  switch (answer) {
    case Answer::kNone:
      break;
    case Answer::kWritten:
      return "written";
    case Answer::kWriteError:
      return "the instrument reported a write error";
    case Answer::kProtected:
      return "the instrument's memory is protected: turn protection off on the instrument";
    case Answer::kFull:
      return "the instrument's memory is full";
    case Answer::kNoExpansion:
      return "no expansion memory: banks E and F need it";
  }
  return "no answer: check the cable, the channel, and that the instrument receives SysEx";
}

namespace {

// "bank A, tone 5".
std::string where_to(const DumpTarget& target) {
  return std::string("bank ") + bank_letter(target.bank) + ", tone " + std::to_string(target.tone + 1);
}

}  // namespace

std::string patch_sent_status(const std::string& name, const DumpTarget& target, Answer answer) {
  return name + (answer == Answer::kWritten ? " went to " : " was not written to ") + where_to(target) +
         ": " + answer_words(answer) + ".";
}

std::string sending_status(std::size_t sent, std::size_t total, std::size_t bytes,
                           std::size_t all_bytes) {
  // MIDI carries 3125 bytes a second.
  const std::size_t seconds = (all_bytes - bytes + 3124) / 3125;
  return std::to_string(sent) + " of " + counted(total, "patch", "patches") + " sent (" +
         std::to_string(bytes) + " of " + std::to_string(all_bytes) + " bytes); about " +
         counted(seconds, "second", "seconds") + " left.";
}

std::string bank_sent_status(std::size_t written, std::size_t total, const DumpTarget& target,
                             Answer answer, int stopped_at, const std::string& stopped_name,
                             bool by_user, const std::vector<std::string>& skipped) {
  std::string said;
  const std::string to = std::string(" to bank ") + bank_letter(target.bank);
  if (written == total && !by_user) {
    said = "All " + counted(total, "patch", "patches") + " written" + to + ".";
  } else if (by_user) {
    said = "Stopped as you asked: " + std::to_string(written) + " of " +
           counted(total, "patch", "patches") + " written" + to + ".";
  } else {
    said = "Stopped at tone " + std::to_string(stopped_at) + " (" + stopped_name + "): " +
           answer_words(answer) + ". " + std::to_string(written) + " of " +
           counted(total, "patch", "patches") + " written" + to + " before it.";
  }
  if (!skipped.empty()) {
    said += " Not sent, as they fail a check: ";
    for (std::size_t i = 0; i < skipped.size(); ++i) said += (i == 0 ? "" : "; ") + skipped[i];
    said += ".";
  }
  return said;
}

std::string backup_name(DumpBank bank, int tone, int year, int month, int day, int hour,
                        int minute) {
  static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const auto two = [](int n) { return (n < 10 ? "0" : "") + std::to_string(n); };
  std::string name = std::string("From the instrument: bank ") + bank_letter(bank);
  if (tone > 0) name += ", tone " + std::to_string(tone);
  return name + ", " + std::to_string(day) + " " + months[(month + 11) % 12] + " " +
         std::to_string(year) + " " + two(hour) + ":" + two(minute);
}

std::string backup_status(const std::string& name, std::size_t patches, bool cut_off, bool none) {
  if (none) return "Nothing came from the instrument: " + answer_words(Answer::kNone) + ".";
  if (cut_off) {
    return "The instrument's dump stopped before its end: no backup. Its whole patches are offered "
           "under \"" + name + "\", as a damaged bank's are.";
  }
  return "Received \"" + name + "\": " + counted(patches, "patch", "patches") + ".";
}

std::string midi_status(const std::string& what, const std::string& port) {
  if (what == "connected") return "Connected: the instrument is reached through " + port + ".";
  if (what == "no-ports") {
    return "No MIDI port is there: plug the instrument's MIDI interface in, then connect again.";
  }
  if (what == "gone") return "The MIDI port " + port + " went away: plug it in again, then connect again.";
  if (what == "refused") {
    return "MIDI was not allowed (" + port + "): allow MIDI with SysEx for this page in the browser, or "
           "save SysEx files instead and send them with a SysEx sender.";
  }
  if (what == "failed") {
    return "MIDI could not start here (" + port + "): plug the instrument's MIDI interface in, then "
           "connect again; or save SysEx files instead.";
  }
  if (what == "busy") return "Wait for what is being sent or received to end, or stop it.";
  if (what == "not-connected") return "Connect to the instrument first, at the top of the page.";
  return "This browser has no Web MIDI (Chromium and Edge have it): save SysEx files instead, and "
         "send them with a SysEx sender.";
}
