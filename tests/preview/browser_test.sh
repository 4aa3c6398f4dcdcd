#!/usr/bin/env bash
# The viewer's tests in a real browser: browser_test.sh VIDMIXER TEST.mjs.
# Skipped (77) where Chromium or Node.js is missing; playwright-core comes
# from the tests' setup (scripts/setup.sh tests).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
if ! command -v node >/dev/null; then echo "skipped: Node.js is not installed"; exit 77; fi
if [ ! -x /usr/bin/chromium ]; then echo "skipped: Chromium is not installed (/usr/bin/chromium)"; exit 77; fi
if [ ! -d "$here/node_modules/playwright-core" ]; then
  echo "playwright-core is missing in $here/node_modules: run scripts/setup.sh tests" >&2
  exit 1
fi
export VIDMIXER="$1"
exec node --test --test-reporter=tap "$2"
