#!/usr/bin/env bash
# The include graph goes one way: every #include "..." of the module's folders and of the host
# must point at its own layer or one below it. Fails, naming file, line and include, on any
# include against the layers, and on any include that climbs out of a folder with "..".
#
#   boundary/gauge_api.h, boundary/gauge_vocabulary.h   the boundary: everyone may include them
#   core/ store/     pure parts: values in, values out; no state, no host call
#   state/           the INS state and the host bridge the subsystems share
#   nav/ cdu/ msu/   the subsystems' steps; none includes another subsystem
#   module/          the gauge tables and entry routines on top
#   host/            the substitute host: its own folder and the boundary, nothing else (the
#                    web server also the store's durable file layer, store/durable_file.h)
#   tests/fixture_module/   a stand-in module: the boundary only
#
# Usage: check_layers.sh SOURCE_ROOT
set -u
root=${1:-$(dirname "$0")/..}
cd "$root" || exit 2

boundary='boundary/gauge_api.h|boundary/gauge_vocabulary.h'

# The folders (as include prefixes) each folder may include, besides itself and the boundary.
allowed_below() {
  case $1 in
    boundary) echo "" ;;
    core) echo "" ;;
    store) echo "core" ;;
    state) echo "core store" ;;
    nav | cdu | msu) echo "core store state" ;;
    module) echo "core store state nav cdu msu" ;;
    host) echo "" ;;
    tests/fixture_module) echo "" ;;
  esac
}

faults=0
check_folder() {
  local folder=$1
  local below
  below=$(allowed_below "$folder")
  local file
  while IFS= read -r file; do
    local number=0 line
    while IFS= read -r line; do
      number=$((number + 1))
      [[ $line =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\"([^\"]+)\" ]] || continue
      local target=${BASH_REMATCH[1]}
      local ok=0
      if [[ $target == *..* ]]; then
        ok=0
      elif [[ $target != */* ]]; then
        ok=1  # a header beside the including file
      elif [[ $target =~ ^($boundary)$ ]]; then
        ok=1
      elif [[ $target == "$folder"/* ]]; then
        ok=1
      else
        local layer
        for layer in $below; do
          [[ $target == "$layer"/* ]] && ok=1
        done
      fi
      # The web server writes and reads the working folder's files through the store's durable
      # file layer (file work only, no module state), by the same rules as the waypoint file.
      if [[ $file == host/web/* && $target == store/durable_file.h ]]; then
        ok=1
      fi
      # The boundary headers themselves include nothing of the module but each other.
      if [[ $file =~ ^($boundary)$ && ! $target =~ ^($boundary)$ ]]; then
        ok=0
      fi
      if [ "$ok" -eq 0 ]; then
        echo "$file:$number: include against the layers: \"$target\""
        faults=$((faults + 1))
      fi
    done <"$file"
  done < <(find "$folder" -name '*.h' -o -name '*.cpp' | sort)
}

for folder in boundary core store state nav cdu msu module host tests/fixture_module; do
  [ -d "$folder" ] && check_folder "$folder"
done

if [ "$faults" -ne 0 ]; then
  echo "$faults includes against the layers"
  exit 1
fi
echo "include graph: one way"
