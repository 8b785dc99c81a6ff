#!/usr/bin/env bash
# The committed table against Windows': remade from a new NTFS file system's
# $UpCase, its rows must be the committed ones, and each of the 65536 units
# must fold alike. Exits 77 (skipped) where ntfs-3g is missing.
# Usage: windows_fold_table_test.sh GENERATOR SOURCE CHECKER
set -euo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$1" "$work/rows" "$work/upcase" || exit  # 77 too
sed -n '/BEGIN TABLE/,/END TABLE/{//!p}' "$2" | diff -u - "$work/rows"
"$3" "$work/upcase"
