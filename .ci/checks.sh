# What the release checks share, sourced by .ci/check-packages and
# .ci/check-documents: the count of checks, the release files as the
# build named them, and each package's entries.

passed=0
check() {  # check WHAT COMMAND...: the command must succeed
  local what=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
  else
    echo "$checks: $what: FAILED"
    echo "$checks: $passed passed, 1 failed"
    exit 1
  fi
}

one() {  # one PATTERN: the one file the build made that matches
  local found=($1)
  if ((${#found[@]} != 1)) || [ ! -f "${found[0]}" ]; then
    echo "$checks: the build made ${#found[@]} files like $1: ${found[*]}"
    exit 1
  fi
  printf '%s\n' "${found[0]}"
}

version=$(sed -n 's/^project(vortrim VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
deb=$(one "build/package/vortrim_*.deb")
tgz=$(one "build/package/vortrim-*-linux-*.tar.gz")
zip=$(one "build/windows/vortrim-*-windows-*.zip")
setup=$(one "build/windows/vortrim-*-windows-*.exe")
mac=$(one "build/macos/vortrim-*-macos-*.tar.gz")
web=$(one "build/web/vortrim-*-web-*.html")
# A package's top folder: its file name without the extension.
top() { basename "$1" | sed 's/\.\(tar\.gz\|zip\)$//'; }

listing() {  # the entries of a package, one a line
  case $1 in
    *.deb) dpkg-deb -c "$1" | awk '{print $6}' ;;
    *.tar.gz) tar tzf "$1" ;;
    *.zip) zipinfo -1 "$1" ;;
  esac
}
