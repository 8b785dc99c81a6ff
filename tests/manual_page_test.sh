#!/bin/bash
# The manual page's DIAGNOSTICS list against what the program prints: each
# message the program is made to print here must be listed, and each listed
# message must be printed here, or, where a test needs a failing disk, be a
# text in the program's sources.
#   manual_page_test.sh PROGRAM MANUAL.in BANKS_FOLDER SOURCE_DIR
set -u
program=$1 manual=$2 banks=$3
source=$(cd "$4" && pwd) || exit 1
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT

# Listed: the .B/.BI line after each .TP, troff's quoting and escapes undone;
# the italic words stay as the placeholders BANK, N and S.
listed=$(sed -n '/^\.SH DIAGNOSTICS/,/^\.SH /p' "$manual" |
  sed 's/\\(dq/@dq@/g; s/\\-/-/g' | awk 'prev == ".TP" && /^\.BI? / { print } { prev = $0 }' |
  while IFS= read -r line; do
    # .B joins its words with blanks, .BI its alternating fonts with none.
    eval "set -- ${line#.* }"
    if [[ $line == .BI* ]]; then printf '%s' "$@"; else printf '%s' "$*"; fi
    printf '\n'
  done | sed 's/@dq@/"/g')
hint=$(sed -n 's/^\.RB \\(lq "\(.*\)" \\(rq:$/\1/p' "$manual")
[ -n "$listed" ] && [ -n "$hint" ] || { echo "no DIAGNOSTICS list in $manual"; exit 1; }

# Printed: the last line of each refusal, the bank's name made BANK again.
printed() {
  local name=$1
  shift
  "$program" "-i$name" "$@" | tail -n 1 |
    sed -E "s|^\"$name\"|\"BANK\"|; s/patch [0-9]+ /patch N /; s/claims [0-9]+ /claims S /"
}
cd "$banks" || exit 1
fails=0
messages=$(
  # The shared table's damaged banks, a patch file's hint taken off.
  cut -f1 refusals.tsv | while IFS= read -r bank; do
    m=$(printed "$bank")
    printf '%s\n' "${m% "$hint"}"
  done
  printed notabank.KAA
  printed NOPE.KAA
  [ -r /proc/self/mem ] && printed /proc/self/mem
  # Every file of a full bank fails into a folder that is not there.
  "$program" -ifull.KAA "-e$work/none" | sed -n 's/^.*\.KA1\( - .*\)$/\1/p' | sort -u
)
pad=$(printed Pad.ka1)
short=$(printed short.KAA)
if [ "$pad" != "$short $hint" ]; then
  echo "a .KA1 file: printed '$pad', listed '$short' and then '$hint'"
  fails=1
fi

while IFS= read -r m; do
  grep -qxF -- "$m" <<<"$listed" || { echo "printed, not listed: '$m'"; fails=1; }
done <<<"$messages"
while IFS= read -r m; do
  grep -qxF -- "$m" <<<"$messages" && continue
  # Only a failing disk prints these; the program must still hold the text.
  if grep -qF -- "${m# - }" "$source/core/messages.h"; then continue; fi
  echo "listed, not printed: '$m'"
  fails=1
done <<<"$listed"
exit $fails
