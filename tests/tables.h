// Tables that several harnesses run, each through its own door: the
// loader, the program, the drop target and the page.

#ifndef VORTRIM_TESTS_TABLES_H
#define VORTRIM_TESTS_TABLES_H

#include <string>
#include <vector>

#include "tests/bank_builder.h"

// A damaged bank and the message that refuses it, spelled out: what
// follows the bank's name as it was given.
struct DamagedBank {
  const char* what;
  std::string file;  // a path relative to the banks' folder
  TestBank bank;
  std::string words;
};
const std::vector<DamagedBank>& damaged_banks();

// A .syx file that is refused, and what follows its name in the refusal;
// where it is cut off, how many whole patches it still offers.
struct DamagedSysEx {
  const char* what;
  std::string file;  // a path relative to the banks' folder
  std::vector<unsigned char> bytes;
  std::string words;
  int rescued = 0;
};
const std::vector<DamagedSysEx>& damaged_sysex();

// A bank file's name and the folder its patches go to, beside it.
struct BankFolder {
  const char* what;
  std::string bank;
  std::string folder;
};
const std::vector<BankFolder>& bank_folders();

#endif  // VORTRIM_TESTS_TABLES_H
