#!/usr/bin/env bash
# Sets up, builds and runs every test through CTest.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$here/scripts/setup.sh"
ctest --test-dir "${MORVANE_BUILD_DIR:-$here/build}" --output-on-failure "$@"
