#!/usr/bin/env bash
# Every C and C++ source of the project follows .clang-format (clang-format -i fixes what this finds).
set -euo pipefail
cd "$1"
git ls-files '*.cpp' '*.h' '*.c' | xargs clang-format --dry-run --Werror
echo "formatting: clean"
