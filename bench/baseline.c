/*
 * The floor for `vortrim -iBANK -l -eDIR`: a minimal C program that does the
 * same reads and writes, just as safely, and nothing else: one read of the
 * bank, one listing line per patch, and each patch written to a temporary
 * file, closed and renamed into place; at the end one flush of the file
 * system and the folder. Meant for good banks only. The benchmark times it
 * beside vortrim, and the memory measurement runs it too.
 *
 *   baseline BANK DIR [each]
 *
 * With "each", as a program must do it with POSIX calls alone: each
 * temporary file flushed (fsync) before its rename, and at the end only the
 * folder; the floor for the portable write path.
 */
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

static unsigned long be32(const unsigned char *p) {
  return (unsigned long)p[0] << 24 | (unsigned long)p[1] << 16 | (unsigned long)p[2] << 8 | p[3];
}

int main(int argc, char **argv) {
  static unsigned char bank[3588 + 131072];
  unsigned long base = 0xFFFFFFFFul;
  size_t length;
  int slot, dir, each;
  FILE *in;

  if (argc < 3 || argc > 4 || (in = fopen(argv[1], "rb")) == NULL) return 2;
  each = argc == 4 && strcmp(argv[3], "each") == 0;
  length = fread(bank, 1, sizeof bank, in);
  fclose(in);
  if ((dir = open(argv[2], O_RDONLY | O_DIRECTORY)) < 0) return 2;
  for (slot = 0; slot < 128; ++slot) {
    unsigned long pointer = be32(bank + 28 * slot);
    if (pointer != 0 && pointer < base) base = pointer;
  }
  for (slot = 0; slot < 128; ++slot) {
    unsigned long pointer = be32(bank + 28 * slot);
    size_t at, size;
    int sources, kits = 0, k, out;
    char name[9], path[32];
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
    if ((out = openat(dir, "baseline.tmp", O_WRONLY | O_CREAT | O_EXCL, 0666)) < 0) return 1;
    if (write(out, bank + at, size) != (ssize_t)size || (each && fsync(out) != 0) ||
        close(out) != 0) {
      return 1;
    }
    snprintf(path, sizeof path, "%d.KA1", slot);
    if (renameat(dir, "baseline.tmp", dir, path) != 0) return 1;
  }
  if ((!each && syncfs(dir) != 0) || fsync(dir) != 0) return 1;
  return fclose(stdout) != 0;
}
