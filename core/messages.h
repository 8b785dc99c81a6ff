// Every message a user reads, from the program and from the page: the one
// place where their words are kept. What a message says about a bank or a
// patch is built here from plain values; the doors only print or show it.

#ifndef VORTRIM_CORE_MESSAGES_H
#define VORTRIM_CORE_MESSAGES_H

#include <string>

#include "core/bank_image.h"

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

#endif  // VORTRIM_CORE_MESSAGES_H
