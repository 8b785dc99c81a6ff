/*
 * The memory floor for `vortrim -iBANK -l -eDIR`: a minimal C program that
 * does the same reads and writes (one read of the bank, one listing line and
 * one file per patch) and nothing else. Meant for good banks only.
 *
 *   baseline BANK DIR
 */
#include <stdio.h>
#include <string.h>

static unsigned long be32(const unsigned char *p) {
  return (unsigned long)p[0] << 24 | (unsigned long)p[1] << 16 | (unsigned long)p[2] << 8 | p[3];
}

int main(int argc, char **argv) {
  static unsigned char bank[3588 + 131072];
  unsigned long base = 0xFFFFFFFFul;
  size_t length;
  int slot;
  FILE *in;

  if (argc != 3 || (in = fopen(argv[1], "rb")) == NULL) return 2;
  length = fread(bank, 1, sizeof bank, in);
  fclose(in);
  for (slot = 0; slot < 128; ++slot) {
    unsigned long pointer = be32(bank + 28 * slot);
    if (pointer != 0 && pointer < base) base = pointer;
  }
  for (slot = 0; slot < 128; ++slot) {
    unsigned long pointer = be32(bank + 28 * slot);
    size_t at, size;
    int sources, kits = 0, k;
    char name[9], path[4096];
    FILE *out;
    if (pointer == 0) continue;
    at = 3588 + (pointer - base);
    if (at + 52 > length) return 1;
    sources = bank[at + 51];
    for (k = 0; k < sources && k < 6; ++k) kits += be32(bank + 28 * slot + 4 + 4 * k) != 0;
    size = 82 + 86 * (size_t)sources + 806 * (size_t)kits;
    if (at + size > length) return 1;
    memcpy(name, bank + at + 40, 8);
    name[8] = '\0';
    printf(" %4d  %s  %5zu\n", slot + 1, name, size);
    snprintf(path, sizeof path, "%s/%d.KA1", argv[2], slot);
    if ((out = fopen(path, "wb")) == NULL) return 1;
    fwrite(bank + at, 1, size, out);
    if (fclose(out) != 0) return 1;
  }
  return fclose(stdout) != 0;
}
