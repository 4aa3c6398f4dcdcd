#!/usr/bin/env bash
# Checks the floating-point code of a built 32-bit x86 module, reading only
# build outputs:
#   check-double-arithmetic.sh OBJDUMP NM MODULE OBJECTS [REF_MODULE REF_OBJECTS]
# OBJECTS is the archive (or object file) of the module's own code; a
# function of MODULE is the module's own when OBJECTS defines its name, and
# the C runtime's otherwise. The module's own functions must contain no x87
# arithmetic, whose extended precision changes results. With a reference
# (the same sources built for another 32-bit target), the module's own
# functions must also do as many SSE2 double additions, subtractions,
# multiplications, divisions and square roots of each kind as the
# reference's. OBJDUMP and NM must read both files' formats.
set -euo pipefail
export LC_ALL=C
[ $# -eq 4 ] || [ $# -eq 6 ] || { echo "usage: $0 OBJDUMP NM MODULE OBJECTS [REF_MODULE REF_OBJECTS]" >&2; exit 2; }
objdump=$1 nm=$2

# Prints "own|runtime KIND FUNCTION MNEMONIC" for every x87 or SSE2 double
# arithmetic instruction of MODULE, and "function NAME" for each of the
# module's own functions. Names lose the leading underscore that 32-bit
# Windows gives C symbols, so both targets' names compare.
arithmetic() { # MODULE OBJECTS
  local module=$1 objects=$2 format
  for f in "$module" "$objects"; do
    [ -f "$f" ] || { echo "no $f: build it first" >&2; exit 1; }
  done
  format=$("$objdump" -f "$module" | sed -n 's/.*file format //p')
  "$nm" --defined-only "$objects" | awk 'NF == 3 && $2 ~ /^[TtWw]$/ { print $3 }' >"$work/own"
  "$objdump" -d -M intel --no-show-raw-insn "$module" | awk -v pe="$([[ $format == pe* ]] && echo 1)" '
    NR == FNR { own[$1] = 1; next }
    /^[0-9a-f]+ <.*>:$/ {
      name = substr($2, 2, length($2) - 3)
      side = (name in own) ? "own" : "runtime"
      if (pe) sub(/^_/, "", name)
      if (side == "own") print "function", name
      next
    }
    /^ *[0-9a-f]+:\t/ {
      split($0, field, "\t"); split(field[2], word, " "); m = word[1]
      if (m ~ /^f(i?(add|sub|subr|mul|div|divr)p?|sqrt|prem1?|rndint|scale|cos|sin|sincos|ptan|patan|2xm1|yl2x|yl2xp1)$/)
        print side, "x87", name, m
      else if (m ~ /^(add|sub|mul|div|sqrt)(sd|pd)$/)
        print side, "sse2", name, m
    }' "$work/own" -
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
arithmetic "$3" "$4" >"$work/module"
status=0
if ! grep -q '^function ' "$work/module"; then
  echo "$3: none of its functions is defined in $4" >&2
  exit 1
fi
echo "$3: its own functions: $(grep -c '^function ' "$work/module")"

runtime=$(awk '$1 == "runtime" && $2 == "x87" { print $3 }' "$work/module" | sort -u | tr '\n' ' ')
[ -z "$runtime" ] || echo "x87 arithmetic outside the module's own functions, in the C runtime's: $runtime"
while read -r name count mnemonics; do
  echo "$3: $name does x87 arithmetic ($count instructions: $mnemonics)" >&2
  status=1
done < <(awk '$1 == "own" && $2 == "x87" { n[$3]++; if (index(m[$3] " ", " " $4 " ") == 0) m[$3] = m[$3] " " $4 }
              END { for (f in n) print f, n[f], m[f] }' "$work/module")

if [ $# -eq 6 ]; then
  arithmetic "$5" "$6" >"$work/reference"
  grep -q '^function ' "$work/reference" || { echo "$5: none of its functions is defined in $6" >&2; exit 1; }
  echo "$5 (the reference): its own functions: $(grep -c '^function ' "$work/reference")"
  # SSE2 counts per kind of the module's own functions, then per function
  # where the names match, to show where a difference lies.
  counts() { awk -v by="$1" '$1 == "own" && $2 == "sse2" { n[by == "kind" ? $4 : $3 " " $4]++ }
                             END { for (k in n) print k, n[k] }' "$2" | sort; }
  join -a1 -a2 -e 0 -o 0,1.2,2.2 <(counts kind "$work/module") <(counts kind "$work/reference") >"$work/kinds"
  while read -r kind here there; do
    if [ "$here" = "$there" ]; then
      echo "$kind: $here, as in the reference"
    else
      echo "$kind: $here here, $there in the reference $5: the SSE2 double arithmetic differs" >&2
      status=1
    fi
  done <"$work/kinds"
  [ -s "$work/kinds" ] || echo "no SSE2 double arithmetic in either build"
  if [ $status -ne 0 ]; then
    join -a1 -a2 -e 0 -o 0,1.2,2.2 <(counts function "$work/module" | awk '{ print $1 "/" $2, $3 }') \
             <(counts function "$work/reference" | awk '{ print $1 "/" $2, $3 }') |
      awk '$2 != $3 { print "  " $1 ": " $2 " here, " $3 " in the reference" }' >&2
  fi
fi
[ $status -eq 0 ] && echo "no x87 arithmetic in the module's own functions" || echo "refused: $3" >&2
exit $status
