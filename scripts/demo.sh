#!/usr/bin/env bash
# Sets up the machine, builds, and renders the built-in demo.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# Only what building and running need: no test tools, no cross compilers.
bash "$root/scripts/setup.sh" build
bash "$root/scripts/build.sh" "$root/build" -DKIVO_BUILD_TESTS=OFF -DKIVO_BUILD_BENCH=OFF
"$root/build/vidmixer" demo --out "${1:-$root/vidmixer-demo}"
