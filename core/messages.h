// Every message a user reads, from the program and from the page: the one
// place where their words are kept. What a message says about a bank or a
// patch is built here from plain values; the doors only print or show it.

#ifndef VORTRIM_CORE_MESSAGES_H
#define VORTRIM_CORE_MESSAGES_H

#include <cstddef>
#include <string>
#include <vector>

#include "core/bank_image.h"
#include "core/sysex.h"

// The program's own, as it prints them.
extern const char kUsageText[];
inline constexpr char kCannotOpenInput[] = "Cannot open input file.";
inline constexpr char kCannotFlush[] = "Cannot write KA1 files to the disk.";
// What a patch's progress line says when its file cannot be made, or not
// written whole.
inline constexpr char kCannotOpenPatchFile[] =
    "Cannot open KA1 file! (Patch name may be incompatible.)";
inline constexpr char kCannotWritePatchFile[] = "Cannot write KA1 file!";

// "\nExtracting to path \"DIR\"...": the line that opens an extraction.
std::string extracting_to(const std::string& dir);

// The words that follow the bank's name in a refusal: "is cut off: ...".
std::string refusal_words(const BankRefusal& why);

// The message refusing the bank named `bank_name` (as the user gave it),
// with a hint where the name is a patch file's.
std::string bank_refusal(const std::string& bank_name, const BankRefusal& why);

// Why a name was renamed for Windows. `forbidden` holds each character
// Windows does not allow that the name held, in the order met, `control`
// whether it held control characters too, `trailing` whether it ended in
// dots or spaces, which Windows drops; `device` is the device name it began
// with, or "". "" where none of these applies.
std::string renamed_for_windows_reason(const std::string& forbidden, bool control,
                                       bool trailing, const std::string& device);

// The page's notes on copies. A place of a copy: "slot 5" in the same
// bank (`bank` empty), else "Live 2003/DEMO.KAA, slot 5".
std::string place_of_copy(const std::string& bank, int slot);

// How many places a note on a patch's copies names; the rest are counted.
inline constexpr std::size_t kCopiesNamed = 3;

// "also in slot 5; Live/A.KAA, slot 2; and 3 more", for the first places
// of `count` in all; "" for none.
std::string copies_note(const std::vector<std::string>& named, std::size_t count);

// Said once for a bank whose patches are all in `other` too: "The same
// patches as Factory/DEMO.KAA." where `equal` (the same patches, no more),
// else "All its patches are also in Factory/DEMO.KAA.", and how many more
// banks hold them all.
std::string same_patches_note(const std::string& other, bool equal, std::size_t more);

// "3 banks, 22 patches (18 also in another bank; 2 fail a check), 1 could
// not be read, 2 other files skipped."
std::string totals(std::size_t banks, std::size_t patches, std::size_t copies,
                   std::size_t failing, std::size_t refused, int skipped);

// "1 other file skipped", "2 other files skipped".
std::string other_files_skipped(int count);

// The page's status lines. Reading banks: "Reading Factory/DEMO.KAA…" for
// one (`first`), else "Reading 12 banks…".
std::string reading_status(std::size_t count, const std::string& first);

// Once they are read: how many were added and refused, how many other
// files were skipped and how many were shown already.
std::string added_status(std::size_t added, std::size_t refused, std::size_t skipped,
                         std::size_t repeated, const std::string& first);

std::string cleared_status();
std::string zipping_status();
std::string zipped_status(std::size_t banks);
// What the browser said, where a step failed.
std::string zip_failed_status(const std::string& error);
std::string folder_refused_status(const std::string& error);
std::string saved_status(std::size_t files, const std::string& folder);
std::string save_failed_status(const std::string& folder, const std::string& error,
                               std::size_t saved, std::size_t total);

// What find says of `count` patches found, the first `shown` of them shown.
std::string found_status(std::size_t count, std::size_t shown);

// What a patch's checks found ("its checksum does not match: the
// instrument would refuse it, or the patch is damaged"); "" where all pass.
std::string check_words(const PatchCheck& check);

// A patch named in a note: "slot 6, Café € (its name holds é, ...)".
std::string patch_in_note(int slot, const std::string& name, const std::string& why);

// What a .syx file `syx` of a bank leaves out, as no dump may carry them,
// and what it holds as it is although a check fails; "" for none.
std::string left_out_note(const std::string& syx, const std::vector<std::string>& patches);
std::string kept_marked_note(const std::string& syx, const std::vector<std::string>& patches);

// "names.syx holds 9 patches, for bank A on channel 1."
std::string sysex_status(const std::string& syx, std::size_t patches, const DumpTarget& target);

// What a .zip of every bank's .syx file holds, and how many patches no
// dump could carry.
std::string zipped_sysex_status(std::size_t files, std::size_t left_out, const DumpTarget& target);

// What reading a .syx file found besides its patches.
std::string skipped_messages_note(int count);
std::string replaced_note(int tone, const std::string& name);

// What a bank refused as cut off still offers.
std::string rescued_note(std::size_t count);

// The instrument over MIDI. What its answer to a dump means ("written",
// "the instrument's memory is full"); for none, that there was none.
std::string answer_words(Answer answer);

// Where a patch went, and what came of it: "Init went to bank A, tone 5:
// written."
std::string patch_sent_status(const std::string& name, const DumpTarget& target, Answer answer);

// While a bank is sent: "12 of 128 patches sent (13456 of 131072 bytes);
// about 38 seconds left."
std::string sending_status(std::size_t sent, std::size_t total, std::size_t bytes,
                           std::size_t all_bytes);

// What sending a bank came to: how many patches were written, and where it
// stopped and why (`answer` at `stopped_at`, a tone from 1, named
// `stopped_name`; by the user where `answer` is kWritten); `skipped` says
// which patches that fail a check were not sent.
std::string bank_sent_status(std::size_t written, std::size_t total, const DumpTarget& target,
                             Answer answer, int stopped_at, const std::string& stopped_name,
                             bool by_user, const std::vector<std::string>& skipped);

// The name of a backup: "From the instrument: bank A, 10 Dec 2026 15:30",
// or for one tone "From the instrument: bank A, tone 5, ...".
std::string backup_name(DumpBank bank, int tone, int year, int month, int day, int hour,
                        int minute);

// What a backup came to: the patches received, or a dump that stopped
// before its end, or none.
std::string backup_status(const std::string& name, std::size_t patches, bool cut_off, bool none);

// What the connection to the instrument is: ports chosen, none there, one
// gone, Web MIDI missing or refused.
std::string midi_status(const std::string& what, const std::string& port);

#endif  // VORTRIM_CORE_MESSAGES_H
