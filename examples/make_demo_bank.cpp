// Writes the demo bank: a dozen invented patches of every shape a real bank
// holds (one to six sources, with and without kit blocks, stale kit
// pointers, names with trailing spaces, two patches of one name), stored out
// of slot order as the instrument leaves them.
//
//   make_demo_bank OUT.KAA

#include <cstdio>

#include "tests/bank_builder.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::printf("usage: make_demo_bank OUT.KAA\n");
    return 2;
  }
  const TestBank demo{.patches = {
                          {.slot = 0, .name = "GlassPad", .sources = 2, .kits = "AP"},
                          {.slot = 1, .name = "Bells", .sources = 4, .kits = "AAPP"},
                          {.slot = 2, .name = "Brass 2", .sources = 1, .kits = "P"},
                          {.slot = 7, .name = "Init", .sources = 1, .kits = "PAAA"},
                          {.slot = 4, .name = "SynStrg", .sources = 6, .kits = "AAAAAA"},
                          {.slot = 3, .name = "Organ B3", .sources = 3, .kits = "PPP"},
                          {.slot = 12, .name = "Choir", .sources = 2, .kits = "AA"},
                          {.slot = 9, .name = "Init", .sources = 1, .kits = "P"},
                          {.slot = 20, .name = "Bass/Sub", .sources = 2, .kits = "PA"},
                          {.slot = 33, .name = "E.Piano", .sources = 5, .kits = "APAPA"},
                          {.slot = 64, .name = "Sweep", .sources = 3, .kits = "AAA"},
                          {.slot = 127, .name = "Noise", .sources = 1, .kits = "A"},
                      }};
  if (!write_bytes(argv[1], build_bank(demo))) {
    std::printf("make_demo_bank: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
