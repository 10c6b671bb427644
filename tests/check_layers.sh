#!/usr/bin/env bash
# The include graph goes one way: every #include "..." of the module's folders and of the host
# must point at its own layer or one below it. Fails, naming file, line and include, on any
# include against the layers, and on any include that climbs out of a folder with "..".
#
#   boundary/gauge_api.h, boundary/gauge_vocabulary.h, boundary/invariants.h
#                    the boundary: everyone may include them
#   core/ store/     pure parts: values in, values out; no state, no host call
#   state/           the INS state and the host bridge the subsystems share
#   nav/ cdu/ msu/   the subsystems' steps; none includes another subsystem
#   module/          the gauge tables and entry routines on top
#   host/            the substitute host: its own folder and the boundary, nothing else (the
#                    live session and the web server also the store's durable file layer,
#                    store/durable_file.h)
#   tests/fixture_module/   a stand-in module: the boundary only
#
# Inside the host, each room includes itself and the rooms below it, always by the room's name
# ("host/panel/panel.h"); a bare name or a room above is a fault, and so is a room this table
# does not know:
#   platform/ sound/             nothing of the host
#   flight/                      platform
#   aircraft/                    platform flight
#   panel/                       platform flight aircraft
#   drawing/                     platform
#   picture/                     platform flight aircraft panel drawing
#   scenario/                    every room above but the commands
#   lesson/                      lessons: scenario and every room below it
#   live/                        the live session serve and link share: platform flight
#                                aircraft panel drawing picture
#   fly/ web/ link/              the commands: the rooms they use, never each other (web/ serves
#                                the live session, link/ feeds it from FlightGear)
#   host/main.cpp                everything
#
# Usage: check_layers.sh SOURCE_ROOT
set -u
root=${1:-$(dirname "$0")/..}
cd "$root" || exit 2

boundary='boundary/gauge_api.h|boundary/gauge_vocabulary.h|boundary/invariants.h'

# The folders (as include prefixes) each folder may include, besides itself and the boundary.
allowed_below() {
  case $1 in
    boundary) echo "" ;;
    core) echo "" ;;
    store) echo "core" ;;
    state) echo "core store" ;;
    nav | cdu | msu) echo "core store state" ;;
    module) echo "core store state nav cdu msu" ;;
    tests/fixture_module) echo "" ;;
  esac
}

# The host rooms each host room may include, besides itself.
host_rooms_below() {
  case $1 in
    platform | sound) echo "" ;;
    flight) echo "platform" ;;
    aircraft) echo "platform flight" ;;
    panel) echo "platform flight aircraft" ;;
    drawing) echo "platform" ;;
    picture) echo "platform flight aircraft panel drawing" ;;
    scenario) echo "platform flight aircraft panel drawing picture" ;;
    lesson) echo "platform flight aircraft panel drawing picture scenario" ;;
    fly) echo "platform flight aircraft panel drawing picture scenario" ;;
    live) echo "platform flight aircraft panel drawing picture" ;;
    web) echo "platform flight aircraft panel drawing picture live lesson" ;;
    link) echo "platform flight aircraft panel live" ;;
    main.cpp) echo "platform sound flight aircraft panel drawing picture scenario lesson live fly web link" ;;
    *) echo "?" ;;
  esac
}

# The room of a host file ("main.cpp" for the program's own file at the top).
host_room() {
  local rest=${1#host/}
  echo "${rest%%/*}"
}

# Checks one include of a host file: the fault's text, or nothing.
host_include_fault() {
  local file=$1 target=$2
  local room below
  room=$(host_room "$file")
  below=$(host_rooms_below "$room")
  if [[ $below == "?" ]]; then
    echo "host room '$room' is not in the table of rooms"
    return
  fi
  [[ $target =~ ^($boundary)$ ]] && return
  [[ $file == host/web/* || $file == host/live/* ]] && [[ $target == store/durable_file.h ]] && return
  if [[ $target != */* ]]; then
    echo "bare include, say the room: \"$target\""
    return
  fi
  if [[ $target != host/*/* ]]; then
    echo "include against the layers: \"$target\""
    return
  fi
  local target_room=${target#host/}
  target_room=${target_room%%/*}
  [[ $target_room == "$room" ]] && return
  local allowed
  for allowed in $below; do
    [[ $target_room == "$allowed" ]] && return
  done
  echo "include against the host's rooms ($room may not include $target_room): \"$target\""
}

# The fault of one include of a module folder's file, or nothing.
module_include_fault() {
  local file=$1 target=$2 folder
  folder=${file%%/*}
  [[ $file == tests/fixture_module/* ]] && folder=tests/fixture_module
  # The boundary headers themselves include nothing of the module but each other.
  if [[ $file =~ ^($boundary)$ && ! $target =~ ^($boundary)$ ]]; then
    echo "include against the layers: \"$target\""
    return
  fi
  [[ $target != */* ]] && return  # a header beside the including file
  [[ $target =~ ^($boundary)$ || $target == "$folder"/* ]] && return
  local layer
  for layer in $(allowed_below "$folder"); do
    [[ $target == "$layer"/* ]] && return
  done
  echo "include against the layers: \"$target\""
}

# Every #include "..." of the files listed on the input, judged by the function named `judge`
# (given the file and the include, it prints the fault or nothing). An include that climbs out
# of a folder with ".." is a fault wherever it is.
faults=0
check_includes() {
  local judge=$1 file
  while IFS= read -r file; do
    local number=0 line
    while IFS= read -r line; do
      number=$((number + 1))
      [[ $line =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\"([^\"]+)\" ]] || continue
      local target=${BASH_REMATCH[1]} fault
      if [[ $target == *..* ]]; then
        fault="include against the layers: \"$target\""
      else
        fault=$("$judge" "$file" "$target")
      fi
      if [ -n "$fault" ]; then
        echo "$file:$number: $fault"
        faults=$((faults + 1))
      fi
    done <"$file"
  done
}

for folder in boundary core store state nav cdu msu module tests/fixture_module; do
  [ -d "$folder" ] || continue
  check_includes module_include_fault < <(find "$folder" -name '*.h' -o -name '*.cpp' | sort)
done
if [ -d host ]; then
  check_includes host_include_fault < <(find host -path host/web/node_modules -prune -o \
    \( -name '*.h' -o -name '*.cpp' \) -print | sort)
fi

if [ "$faults" -ne 0 ]; then
  echo "$faults includes against the layers"
  exit 1
fi
echo "include graph: one way"
