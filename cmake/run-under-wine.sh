#!/usr/bin/env bash
# Runs a Windows test program under Wine:
#   run-under-wine.sh WINE ARCH PREFIX PACKAGE PROGRAM [ARGS...]
# The Wine prefix PREFIX is private to the build directory and is made on
# first use. Wine that is missing or cannot start fails with the reason.
set -uo pipefail
wine=$1 arch=$2 prefix=$3 package=$4
shift 4

fail() { echo "run-under-wine: $*" >&2; exit 1; }

[ -x "$wine" ] || fail "$wine not found: install the Debian package $package"
server="${wine%/*}/wineserver${arch#win}"
[ -x "$server" ] || fail "$server not found: install the Debian package $package"
# Debian's 32-bit Wine is itself a 32-bit Linux program: a kernel without
# 32-bit support cannot start it. That is reported as a skipped test (77).
if [ "$arch" = win32 ] && ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  echo "run-under-wine: this machine's kernel cannot run 32-bit x86 programs, so 32-bit Wine cannot start: skipped" >&2
  exit 77
fi
export WINEPREFIX=$prefix WINEARCH=$arch WINEDEBUG=-all
# No Mono or Gecko: the tests need neither, and nothing is downloaded.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

if [ ! -f "$prefix/system.reg" ]; then
  mkdir -p "$(dirname "$prefix")"
  (
    flock 9
    if [ ! -f "$prefix/system.reg" ]; then
      # The registry files appear when the prefix's first server has exited.
      if ! "$wine" wineboot --init >"$prefix.log" 2>&1 || ! "$server" -w || [ ! -f "$prefix/system.reg" ]; then
        tail -n 20 "$prefix.log" >&2
        rm -rf "$prefix"
        fail "cannot make the Wine prefix $prefix with $wine ($arch); is $package installed? Log: $prefix.log"
      fi
    fi
  ) 9>"$prefix.lock" || exit 1
fi

"$wine" "$@"
status=$?
# 126 and 127: the program could not be started at all.
case $status in
  126|127) fail "$wine could not start $1 (exit status $status; is $package installed?)" ;;
esac
exit $status
