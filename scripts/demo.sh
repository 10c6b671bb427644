#!/usr/bin/env bash
# The main job: builds everything, then flies the bundled plan from Shannon to Keflavik with the
# INS in a 40-knot wind from 300, printing the leg table as it goes and where the outputs are.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"
ctest --test-dir build/release -R 'module_exports' --output-on-failure
SDL_AUDIODRIVER="${SDL_AUDIODRIVER:-dummy}" build/release/ins-host fly examples/EINN-BIKF-oceanic.PLN \
  --wind 300/40 --output fly-output/EINN-BIKF-oceanic
