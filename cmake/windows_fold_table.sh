#!/usr/bin/env bash
# Writes the rows of core/windows_fold.cpp's table: the upper case of each
# UTF-16 code unit as Windows compares file names, read from the $UpCase
# table of a new NTFS file system that mkntfs (Debian: ntfs-3g) makes in a
# plain file, which needs neither root nor a loop device. A shell script and
# not a CMake one: od and awk (in every Debian) read the 65536 units as
# numbers, where CMake would cut them one by one out of a string of hex.
#
# Usage: cmake/windows_fold_table.sh ROWS [UPCASE]
# The rows go to the file ROWS, and UPCASE, if given, keeps the raw table
# (65536 little-endian 16-bit units) for a test to compare with; what went
# wrong, if anything, is printed. Exits 77 where ntfs-3g is missing. To
# remake the committed rows:
#   cmake/windows_fold_table.sh rows &&
#   sed -i -e '/BEGIN TABLE/,/END TABLE/{//!d}' -e '/BEGIN TABLE/r rows' core/windows_fold.cpp
set -euo pipefail
export LC_ALL=C
if (($# < 1 || $# > 2)); then
  echo "usage: windows_fold_table.sh ROWS [UPCASE]"
  exit 2
fi
rows=$1
PATH=$PATH:/usr/sbin:/sbin  # where mkntfs is, and not every user's PATH goes
command -v mkntfs >/dev/null && command -v ntfscat >/dev/null || {
  echo "windows_fold_table.sh: mkntfs and ntfscat are missing (Debian: apt-get install ntfs-3g)"
  exit 77
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
truncate -s 2M "$work/ntfs.img"  # about the smallest that mkntfs formats
# The geometry given, so that a plain file draws fewer warnings; what the
# tools say is shown only if they fail.
if ! mkntfs -F -f -q -T -s 512 -p 0 -H 0 -S 0 "$work/ntfs.img" >"$work/log" 2>&1 ||
   ! ntfscat "$work/ntfs.img" '$UpCase' >"$work/upcase" 2>>"$work/log"; then
  cat "$work/log"
  exit 1
fi
size=$(stat -c %s "$work/upcase")
if [[ $size != 131072 ]]; then
  echo "windows_fold_table.sh: \$UpCase holds $size bytes, not 65536 units"
  exit 1
fi
if (($# > 1)); then cp "$work/upcase" "$2"; fi

# Each unit that is not its own upper case falls in one row: a run of units
# one apart with the same delta (a-z), or one of every other unit where the
# letters alternate upper and lower (Ā ā Ă ă ...). A lone unit is a run of
# one.
od -An -v -tu2 --endian=little "$work/upcase" | awk '
  { for (i = 1; i <= NF; ++i) { d[n] = $i - n; ++n } }
  function row(first, last, step) {
    printf "    {0x%04X, 0x%04X, %d, %d},\n", first, last, step, d[first]
  }
  END {
    for (u = 0; u < n; ++u) {
      if (d[u] == 0) continue
      v = u
      if (v + 1 < n && d[v + 1] == d[u]) {
        while (v + 1 < n && d[v + 1] == d[u]) ++v
        row(u, v, 1)
      } else if (v + 2 < n && d[v + 1] == 0 && d[v + 2] == d[u]) {
        while (v + 2 < n && d[v + 1] == 0 && d[v + 2] == d[u]) v += 2
        row(u, v, 2)
      } else {
        row(u, u, 1)
      }
      u = v
    }
  }' >"$rows"
