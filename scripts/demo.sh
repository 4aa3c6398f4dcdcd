#!/usr/bin/env bash
# Sets up the machine, builds, and renders the built-in demo.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh" "$root/build"
"$root/build/vidmixer" demo --out "${1:-$root/vidmixer-demo}"
