#!/usr/bin/env bash
# The shared module must export exactly the two tables a host reads, and link nothing beyond the
# C and C++ runtime.
set -euo pipefail
module="$1"
exported=$(nm -D --defined-only "$module" | awk '{print $3}' | sort)
if [ "$exported" != "$(printf 'ImportTable\nLinkage')" ]; then
  echo "unexpected exported symbols of $module:"; echo "$exported"; exit 1
fi
allowed='^(linux-vdso|/lib64/ld-linux|libc\.so|libm\.so|libstdc\+\+\.so|libgcc_s\.so|libdl\.so|libasan\.so|libubsan\.so)'
extra=$(ldd "$module" | awk '{print $1}' | grep -Ev "$allowed" || true)
if [ -n "$extra" ]; then
  echo "$module links more than the C and C++ runtime:"; echo "$extra"; exit 1
fi
echo "exports: Linkage ImportTable; runtime only"
