#!/usr/bin/env bash
# The Windows installer under Wine, one row a mode, each in a Wine prefix
# of its own, made for it and settled (its registry on the disk) first:
# setup and uninstaller exit 0; the registry keys; PATH holds the folder
# once and vortrim runs by name from a new prompt; the page and the demo
# bank installed, and a Start menu entry that opens the page; each
# right-click verb takes many banks at once, and its command line, read
# back from the registry with %1 filled in, run on a bank in "Rock & Roll
# (live)", gives the bank builder's bytes (or the listing alone); after
# uninstalling, the Start menu entry is gone, PATH is as before to the
# byte, the C: drive outside the temporary folder is as before, and the
# registry holds no trace. A PATH longer than the installer can hold is
# left untouched.
#
#   vortrim_setup_test.sh WINE WINESERVER SETUP STARTER BANKS PAGE DEMO
# BANKS holds names.KAA and its patches' bytes (names.KAA.SLOT.bin); PAGE
# and DEMO are the page and the demo bank the installer must carry.
# Exits 77 (skipped) where there is no installer: makensis was missing.
set -uo pipefail
wine=$1 wineserver=$2 setup=$3 starter=$4 banks=$5 page=$6 demo=$7
[ -f "$setup" ] || { echo "skipped: no installer (Debian: apt-get install nsis)"; exit 77; }

passed=0 failed=0
check() {  # check WHAT COMMAND...
  local what=$1
  shift
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $row: $what"; fi
}
win() { "$wine" "$@" 2>/dev/null | tr -d '\r'; }
query() { win reg query "$@"; }
# The registry and the C: drive (outside the temporary folder, where the
# uninstaller leaves its running copy for Windows to remove), but for what
# Wine itself writes as a prefix starts and draws its first window: its
# devices' keys and the colours of the Control Panel, which no installer
# touches.
snapshot() {
  local hive
  "$wineserver" -w
  for hive in HKCU HKLM; do
    win reg export "$hive" "$scratch/$hive.reg" /y >/dev/null
    iconv -f UTF-16LE -t UTF-8 "$scratch/$hive.reg" | tr -d '\r' | awk '
      /^\[/ { wine = $0 ~ /^\[HKEY_LOCAL_MACHINE\\(HARDWARE|System\\CurrentControlSet\\(Enum|Control\\(Class|DeviceClasses|Video)))(\\|\])/ ||
                   $0 ~ /^\[HKEY_CURRENT_USER\\Control Panel(\\|\])/ }
      !wine && !/^"DriverDateData"=/'
  done
  (cd "$WINEPREFIX/drive_c" && find . -path "./$temp" -prune -o -print | LC_ALL=C sort)
}
same_bytes() { cmp -s "$1" "$2"; }
lacks() { ! grep -q "$1" <<<"$2"; }
path_value() { query "$env_key" /v Path | sed -n 's/^ *Path *REG_[A-Z_]* *//p'; }

long="$(printf 'C:\\tools%04d;' $(seq 1 84))C:\\abcde"  # 1100 characters
for row in "for the current user" "for all users" "a PATH too long to change"; do
  scratch=$(mktemp -d)
  export WINEPREFIX=$scratch/prefix WINEDEBUG=-all WINEDLLOVERRIDES=winemenubuilder.exe=d LC_ALL=C.UTF-8
  "$wine" wineboot --init >/dev/null 2>&1
  "$wineserver" -w
  root=HKCU dir='C:\users\root\AppData\Local\Programs\vortrim' mode=
  menu="$WINEPREFIX/drive_c/users/root/AppData/Roaming/Microsoft/Windows/Start Menu/Programs"
  if [ "$row" = "for all users" ]; then
    root=HKLM dir='C:\Program Files\vortrim' mode=/AllUsers
    menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs"
  fi
  unix_dir="$WINEPREFIX/drive_c/${dir#C:\\}"
  unix_dir=${unix_dir//\\//}
  env_key='HKCU\Environment'
  [ $root = HKLM ] && env_key='HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment'
  if [ "$row" = "a PATH too long to change" ]; then
    win reg add 'HKCU\Environment' /v Path /t REG_EXPAND_SZ /d "$long" /f >/dev/null
  fi
  # The temporary folder, made if a new prefix lacks it, as Windows has one.
  temp=$(query 'HKCU\Environment' /v TEMP | sed -n 's/^ *TEMP *REG_[A-Z_]* *C:\\//p' | tr '\\' /)
  mkdir -p "$WINEPREFIX/drive_c/$temp"
  path_before=$(path_value)
  path_query=$(query "$env_key" /v Path)  # its type too
  before=$(snapshot)

  check "setup exits 0" "$wine" "$setup" /S $mode
  "$wineserver" -w
  uninstall_key="$root\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\vortrim"
  check "Apps & features shows the version" \
    grep -q "DisplayVersion    REG_SZ    [0-9]" <<<"$(query "$uninstall_key")"
  quiet=$(query "$uninstall_key" /v QuietUninstallString | sed -n 's/.*REG_SZ    //p')
  check "a quiet uninstall string" test -n "$quiet"
  path_after=$(path_value)
  if [ "$row" = "a PATH too long to change" ]; then
    check "the long PATH is untouched" test "$path_after" = "$path_before"
  else
    check "PATH holds the folder once" test "$(tr ';' '\n' <<<"$path_after" | grep -cFx -- "$dir")" = 1
    check "vortrim runs by name from a new prompt" \
      grep -q '^vortrim usage:' <<<"$(win cmd /c vortrim)"
  fi

  # The page and the demo bank, and the Start menu entry that opens the page.
  check "the page is installed" same_bytes "$unix_dir/vortrim.html" "$page"
  check "the demo bank is installed" same_bytes "$unix_dir/DEMO.KAA" "$demo"
  check "a Start menu entry vortrim" test -f "$menu/vortrim.lnk"
  check "the Start menu entry opens the page" \
    grep -q 'vortrim\.html' <<<"$(strings "$menu/vortrim.lnk"; strings -el "$menu/vortrim.lnk")"

  # Each verb, as Explorer runs it on a bank in a folder with "&" and
  # parentheses.
  bank_dir="$scratch/prefix/drive_c/Rock & Roll (live)"
  mkdir -p "$bank_dir"
  cp "$banks/names.KAA" "$bank_dir/"
  bank='C:\Rock & Roll (live)\names.KAA'
  verbs="$root\\Software\\Classes\\SystemFileAssociations\\.kaa\\shell"
  for verb in vortrim.list vortrim.extract; do
    line=$(query "$verbs\\$verb\\command" /ve | sed -n 's/.*REG_SZ    //p')
    check "$verb has a command" test -n "$line"
    # Any number of banks, handed to the script at once, as a drop.
    check "$verb takes any number of banks" \
      grep -q 'MultiSelectModel    REG_SZ    Player' <<<"$(query "$verbs\\$verb")"
    check "$verb drops them on its script" grep -q \
      'Clsid    REG_SZ    {86C86720-42A0-1069-A2E8-08002B30309D}' <<<"$(query "$verbs\\$verb\\DropTarget")"
    out=$(echo | win "$starter" /verb "${line//%1/"$bank"}")
    check "$verb names the bank" grep -qF '==== names.KAA ====' <<<"$out"
    check "$verb lists it" grep -qF '"C:\Rock & Roll (live)\names.KAA" contains 9 patches.' <<<"$out"
    if [ $verb = vortrim.list ]; then
      check "vortrim.list extracts nothing" test ! -e "$bank_dir/names"
    fi
  done
  # The files names.KAA gives, as slot:stem; its other patches are refused.
  files=(1:Bass_Sub 2:Init 3:init~2 6:'Café €' 8:Strings1 9:String~2)
  check "Extract patches here writes those files alone" same_bytes \
    <(cd "$bank_dir/names" && ls | LC_ALL=C sort) \
    <(for file in "${files[@]}"; do echo "${file#*:}.KA1"; done | LC_ALL=C sort)
  for file in "${files[@]}"; do
    check "${file#*:}.KA1 is patch ${file%%:*}'s bytes" \
      same_bytes "$bank_dir/names/${file#*:}.KA1" "$banks/names.KAA.${file%%:*}.bin"
  done
  check "an \"Open with\" entry" grep -q vortrim.bank <<<"$(query "$root\\Software\\Classes\\.kaa\\OpenWithProgids")"
  check ".KAA keeps its own default" lacks vortrim "$(query "$root\\Software\\Classes\\.kaa" /ve)"
  rm -rf "$bank_dir"

  check "uninstaller exits 0" "$wine" "$starter" /verb "$quiet"
  "$wineserver" -w
  check "the Start menu entry is gone" test ! -e "$menu/vortrim.lnk"
  check "PATH is as before, to the byte" test "$(query "$env_key" /v Path)" = "$path_query"
  after=$(snapshot)
  check "the registry and the C: drive are as before" test "$after" = "$before"
  [ "$after" = "$before" ] || diff <(echo "$before") <(echo "$after") | head -20
  "$wineserver" -k 2>/dev/null
  rm -rf "$scratch"
done
echo "installer: $passed passed, $failed failed"
((failed == 0))
