#!/usr/bin/env bash
# INS.gau as the simulator's loader sees it, read with objdump from outside:
#   - exactly two exports, Linkage and ImportTable, by their plain C names;
#   - imports only from Windows' own system libraries (the runtime is linked in, and the sound
#     library is bound by name at run time, never at load);
#   - when art ids are given (ID:WIDTHxHEIGHT ...), every bitmap present as a BITMAP resource
#     with that id and the size of a 24-bit bitmap of those pixels.
# Usage: check_gau.sh OBJDUMP INS.gau [ID:WxH ...]
set -euo pipefail
objdump=$1
gau=$2
shift 2
dump=$("$objdump" -p "$gau")
fail=0

exports=$(awk '/\[Ordinal\/Name Pointer\] Table/ {on=1; next} on && /^\t\[ *[0-9]+\]/ {print $NF; next} on {on=0}' <<<"$dump" | sort | tr '\n' ' ')
if [ "$exports" != "ImportTable Linkage " ]; then
  echo "exports: expected exactly ImportTable and Linkage, found: ${exports:-none}"
  fail=1
fi

system_dll='^(kernel32|msvcrt|user32|advapi32|ntdll|ucrtbase|api-ms-win-[a-z0-9-]+)\.dll$'
imports=$(awk '/DLL Name:/ {print $3}' <<<"$dump")
for dll in $imports; do
  if ! grep -qiE "$system_dll" <<<"$dll"; then
    echo "imports: $dll is not a Windows system library"
    fail=1
  fi
done

# objdump prints the resource tree as type, name and language entries, each level indented two
# more, and a leaf with the data's size under each language: list "TYPE NAME SIZE" (hex).
resources=$(awk '
  /Resource Directory section/ {on=1; next}
  /Resources start at offset/ {on=0}
  on && /Entry: ID:/ {
    indent = index($0, "Entry:"); if (top == 0) top = indent
    split($0, after, "ID: "); split(after[2], value, ",")
    if (indent == top) type = value[1]; else if (indent == top + 2) name = value[1]
  }
  on && /Leaf:/ {split($0, after, "Size: "); split(after[2], value, ","); print type, name, value[1]}
' <<<"$dump")
bitmap_size() {  # the data size of BITMAP resource $1, in bytes, or nothing
  while read -r type name size; do
    if [ "$((type))" -eq 2 ] && [ "$((name))" -eq "$1" ]; then echo "$((size))"; return; fi
  done <<<"$resources"
}

for art in "$@"; do
  id=${art%%:*}
  size=${art#*:}
  width=${size%x*}
  height=${size#*x}
  # A 24-bit DIB: 40-byte header, rows padded to 4 bytes.
  bytes=$((40 + (width * 3 + 3) / 4 * 4 * height))
  found=$(bitmap_size "$id")
  if [ -z "$found" ]; then
    echo "resources: no BITMAP $id"
    fail=1
  elif [ "$found" -ne "$bytes" ]; then
    echo "resources: BITMAP $id holds $found bytes, expected $bytes (${width}x${height}, 24-bit)"
    fail=1
  fi
done

if [ "$fail" -ne 0 ]; then exit 1; fi
echo "INS.gau: exports ImportTable and Linkage only; imports: $(tr '\n' ' ' <<<"$imports");" \
  "$# bitmap resource(s) checked"
