// The full bank that the benchmarks use: 128 patches of one or two sources,
// each with one kit block, filling most of the patch memory.

#ifndef VORTRIM_BENCH_FULL_BANK_H
#define VORTRIM_BENCH_FULL_BANK_H

#include <string>

#include "tests/bank_builder.h"

inline TestBank full_bank() {
  TestBank bank;
  for (int s = 0; s < 128; ++s) {
    bank.patches.push_back({.slot = s, .name = "Patch" + std::to_string(s),
                            .sources = 1 + s % 2, .kits = "A"});
  }
  return bank;
}

#endif  // VORTRIM_BENCH_FULL_BANK_H
