#!/usr/bin/env bash
# Runs the double-arithmetic check on an object built for the x87 unit, with
# the same source built for SSE2 as the reference, and expects a refusal
# that names the function and the SSE2 kinds whose counts differ:
#   expect-x87-refused.sh CHECK OBJDUMP NM X87_OBJECT SSE2_OBJECT
set -u
check=$1 objdump=$2 nm=$3 x87=$4 sse2=$5
out=$(bash "$check" "$objdump" "$nm" "$x87" "$x87" "$sse2" "$sse2" 2>&1)
status=$?
printf '%s\n' "$out"
fail() { echo "expect-x87-refused: $*" >&2; exit 1; }
[ $status -eq 1 ] || fail "the check exited with $status, not 1 (refused)"
for line in 'blend does x87 arithmetic' 'addsd: 0 here, 1 in the reference' \
            'subsd: 0 here, 1' 'mulsd: 0 here, 1' 'divsd: 0 here, 1' 'refused:'; do
  grep -qF "$line" <<<"$out" || fail "no line with \"$line\""
done
