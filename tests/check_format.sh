#!/usr/bin/env bash
# Every C++ source of the project follows .clang-format (clang-format -i fixes what this finds).
set -euo pipefail
cd "$1"
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror
echo "formatting: clean"
