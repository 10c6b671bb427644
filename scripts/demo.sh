#!/usr/bin/env bash
# The main job. Until whole flights can be flown, it builds the module and runs the smallest
# end-to-end path: the module's load-time tables checked through the shared module's interface.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"
ctest --test-dir build/release -R 'module_exports|Module' --output-on-failure
