#!/usr/bin/env bash
# Installs what is missing, builds Tavlin and runs the whole test suite (no display or sound card needed:
# the tests that open windows run under a virtual X server).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
bash scripts/build.sh

cd build
xvfb-run -a -s "-screen 0 1600x1200x24" ctest --output-on-failure --parallel "$(nproc)" --timeout 600
