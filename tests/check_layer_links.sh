#!/usr/bin/env bash
# The module's layers link one way, as they include one way (check_layers.sh): no object of a
# layer refers to a symbol that only a layer above it defines. An include can be clean while the
# definition a layer calls still lives above it (a table the state reads, defined with the gauge
# tables); this finds that. Fails naming the layer, the symbol and the layer that defines it.
#
# Usage: check_layer_links.sh NM NAME=OBJECTS [NAME=OBJECTS ...]
#   the layers from the lowest up, each its name and its object files separated by ';'
set -u
nm_tool=$1
shift

names=()
objects=()
for layer in "$@"; do
  names+=("${layer%%=*}")
  objects+=("${layer#*=}")
done

defined_in() {
  local list
  IFS=';' read -ra list <<<"$1"
  "$nm_tool" --defined-only "${list[@]}" 2>/dev/null | awk 'NF == 3 && $2 ~ /[TDBRVWuiG]/ {print $3}' |
    sort -u
}
undefined_in() {
  local list
  IFS=';' read -ra list <<<"$1"
  "$nm_tool" --undefined-only "${list[@]}" 2>/dev/null | awk 'NF >= 2 {print $NF}' | sort -u
}

faults=0
for ((low = 0; low < ${#names[@]}; ++low)); do
  wanted=$(undefined_in "${objects[low]}")
  for ((high = low + 1; high < ${#names[@]}; ++high)); do
    while IFS= read -r symbol; do
      [ -n "$symbol" ] || continue
      echo "${names[low]} refers to $(c++filt "$symbol"), defined above it in ${names[high]}"
      faults=$((faults + 1))
    done < <(comm -12 <(echo "$wanted") <(defined_in "${objects[high]}"))
  done
done

if [ "$faults" -ne 0 ]; then
  echo "$faults references against the layers"
  exit 1
fi
echo "layers link one way: ${names[*]}"
