#!/usr/bin/env bash
# Runs a 32-bit x86 Linux test program: run-i386.sh PROGRAM [ARGS...]
# Natively where the kernel runs such programs; on a kernel without 32-bit
# support under qemu-i386 (Debian's qemu-user), whose SSE2 double arithmetic
# gives the same results.
set -uo pipefail
if /lib/ld-linux.so.2 --version >/dev/null 2>&1; then exec "$@"; fi
if ! command -v qemu-i386 >/dev/null; then
  echo "run-i386: this machine cannot run 32-bit x86 programs, and qemu-i386 is missing: install the Debian package qemu-user" >&2
  exit 1
fi
exec qemu-i386 "$@"
