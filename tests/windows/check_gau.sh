#!/usr/bin/env bash
# INS.gau as the simulator's loader sees it, read with objdump from outside:
#   - exactly two exports, Linkage and ImportTable, by their plain C names;
#   - imports only from Windows' own system libraries (the runtime is linked in, and the sound
#     library is bound by name at run time, never at load);
#   - a version resource whose fixed file and product versions are VERSION (X.Y.Z as X,Y,Z,0),
#     and whose FileVersion and ProductVersion texts are VERSION, as Windows shows them;
#   - when art ids are given (ID:WIDTHxHEIGHT ...), every bitmap present as a BITMAP resource
#     with that id and the size of a 24-bit bitmap of those pixels.
# Usage: check_gau.sh OBJDUMP INS.gau VERSION [ID:WxH ...]
set -euo pipefail
objdump=$1
gau=$2
version=$3
shift 3
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

# The version resource (type 16): its bytes from the resource section's dump, as one hex text.
if ! awk '$1 == 16 {found=1} END {exit !found}' <<<"$resources"; then
  echo "resources: no version resource"
  fail=1
else
  rsrc=$("$objdump" -s -j .rsrc "$gau" |
    sed -nE 's/^ [0-9a-f]+ (([0-9a-f]{2,8} ){0,3}[0-9a-f]{2,8}).*/\1/p' | tr -d ' \n')
  hex_le32() {  # $1 as four little-endian bytes in hex
    printf '%02x%02x%02x%02x' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24))
  }
  IFS=. read -r major minor patch <<<"$version"
  # VS_FIXEDFILEINFO: signature, structure version, file version (most and least significant
  # halves), product version (the same).
  numbers=$(hex_le32 $((major << 16 | minor)))$(hex_le32 $((patch << 16)))
  if ! grep -q "bd04effe00000100$numbers$numbers" <<<"$rsrc"; then
    fixed=$(grep -o "bd04effe.\{40\}" <<<"$rsrc" | head -1 || true)
    echo "version: the fixed file and product versions are not $major,$minor,$patch,0 (${fixed:-no fixed information})"
    fail=1
  fi
  utf16() {  # $1 as UTF-16LE hex, without terminator
    local text=$1 out="" i
    for ((i = 0; i < ${#text}; ++i)); do out+=$(printf '%02x00' "'${text:i:1}"); done
    echo "$out"
  }
  # A string's value follows its key's terminator and the padding to a 4-byte boundary.
  for key in FileVersion ProductVersion; do
    if ! grep -qE "$(utf16 "$key")0000(0000)?$(utf16 "$version")0000" <<<"$rsrc"; then
      echo "version: no $key text \"$version\" in the version resource"
      fail=1
    fi
  done
fi

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
  "version $version; $# bitmap resource(s) checked"
