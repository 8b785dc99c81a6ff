// Writes the benchmarks' full bank to a file, for measuring whole runs.
//
//   write_full_bank FULL.KAA

#include <cstdio>

#include "bench/full_bank.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::printf("usage: write_full_bank FULL.KAA\n");
    return 2;
  }
  if (!write_bytes(argv[1], build_bank(full_bank()))) {
    std::printf("write_full_bank: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
