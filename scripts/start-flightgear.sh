#!/bin/bash
# start-flightgear.sh - start FlightGear 2020.3 (Debian package "flightgear") headless and cheap,
# flying a c172p in the air near PHNL (Honolulu, in Debian's base scenery), with the property
# servers the INS link needs. Runs in the foreground until FlightGear exits or this script gets
# SIGINT/SIGTERM; it then stops FlightGear and the Xvfb it started.
#
# Usage: start-flightgear.sh TELNET_PORT [HTTPD_PORT|0] [extra fgfs options...]
#   TELNET_PORT  telnet property server ("data" mode protocol), bound to 127.0.0.1, polled 30x/s
#   HTTPD_PORT   optional HTTP server (/json/..., /PropertyListener websocket, /run.cgi); 0 = none
#   extra options are passed to fgfs last (they override the defaults), e.g. --wind=250@12 --heading=45
# Environment:
#   FG_HOME           FlightGear home (NavCache, logs, autosave); default /tmp/fg-home-$(id -u)
#                     (first start with an empty FG_HOME builds the NavCache: measured ~+20 s)
#   FG_LOG            fgfs stdout/stderr file; default $FG_HOME/fgfs-console.log
#   FG_FPS            frame-rate throttle (Hz), default 30 (CPU ~20% of one core at 30)
#   FG_GENERIC_UDP    if set to a port: also stream the generic protocol "insout" (CSV over UDP,
#                     10 Hz) to 127.0.0.1:PORT, read from $FG_DATA_DIR/Protocol/insout.xml
#   FG_DATA_DIR       extra data dir passed as --data= (default: the fgdata/ dir next to this script)
#   FG_READY_TIMEOUT  seconds to wait for readiness (default 180)
# Prints "FG_READY after N.N s (display :D, fgfs pid P)" on stdout once /sim/sceneryloaded is
# true and /sim/time/elapsed-sec advances; exits 1 if FlightGear dies or is not ready in time.
set -u
TELNET_PORT=${1:?usage: $0 TELNET_PORT [HTTPD_PORT|0] [extra fgfs options...]}
HTTPD_PORT=${2:-0}
shift; [ $# -gt 0 ] && shift
HERE=$(cd "$(dirname "$0")" && pwd)
export FG_HOME=${FG_HOME:-/tmp/fg-home-$(id -u)}
FG_LOG=${FG_LOG:-$FG_HOME/fgfs-console.log}
FG_FPS=${FG_FPS:-30}
FG_READY_TIMEOUT=${FG_READY_TIMEOUT:-180}
mkdir -p "$FG_HOME"
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-/tmp/fg-xdg-$(id -u)}
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
# software OpenGL (Mesa llvmpipe); fgfs aborts on the missing D-Bus session bus unless libdbus
# warnings are made non-fatal
export LIBGL_ALWAYS_SOFTWARE=1 GALLIUM_DRIVER=llvmpipe DBUS_FATAL_WARNINGS=0

T0=$(date +%s.%N)
XVFB_PID= ; FG_PID=
cleanup() {
  trap - EXIT INT TERM
  if [ -n "$FG_PID" ] && kill -0 "$FG_PID" 2>/dev/null; then
    kill -TERM "$FG_PID" 2>/dev/null
    for _ in $(seq 1 50); do kill -0 "$FG_PID" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$FG_PID" 2>/dev/null
  fi
  if [ -n "$XVFB_PID" ]; then kill -TERM "$XVFB_PID" 2>/dev/null; wait "$XVFB_PID" 2>/dev/null; fi
}
trap cleanup EXIT
trap 'exit 143' INT TERM

# Xvfb picks a free display number itself and writes it to the pipe (-displayfd)
DFIFO=$(mktemp -u /tmp/fg-xvfb-fd.XXXXXX); mkfifo "$DFIFO"
Xvfb -displayfd 9 -screen 0 800x600x24 -nolisten tcp 9>"$DFIFO" >/dev/null 2>&1 &
XVFB_PID=$!
read -r -t 20 DNUM < "$DFIFO"; rm -f "$DFIFO"
if [ -z "${DNUM:-}" ]; then echo "Xvfb did not start" >&2; exit 1; fi
export DISPLAY=:$DNUM

OPTS=(--aircraft=c172p --airport=PHNL --heading=90
  --timeofday=noon --disable-sound --disable-real-weather-fetch --disable-terrasync
  --disable-fgcom --disable-ai-traffic --disable-save-on-exit --disable-splash-screen
  --disable-hud --fog-fastest --disable-clouds --disable-clouds3d --visibility=5000
  --disable-random-objects --disable-random-vegetation --disable-random-buildings
  --disable-specular-highlight --disable-horizon-effect --geometry=320x240
  --prop:/sim/rendering/draw-mask/terrain=false --prop:/sim/rendering/draw-mask/models=false
  --prop:/sim/rendering/draw-mask/aircraft=false --prop:/sim/rendering/draw-mask/clouds=false
  --prop:/sim/rendering/shadows/enabled=false --prop:/sim/rendering/particles=false
  --prop:/sim/frame-rate-throttle-hz=$FG_FPS
  --telnet=socket,bi,30,127.0.0.1,$TELNET_PORT,tcp)
# FG_GROUND=1: standing on PHNL's runway (parking brake set), as an INS alignment needs
if [ "${FG_GROUND:-0}" = 1 ]; then
  OPTS+=(--prop:/controls/gear/brake-parking=1)
else
  OPTS+=(--in-air --altitude=3000 --vc=100)
fi
[ "$HTTPD_PORT" != 0 ] && OPTS+=(--httpd="$HTTPD_PORT")
if [ -n "${FG_GENERIC_UDP:-}" ]; then
  OPTS+=(--data="${FG_DATA_DIR:-$HERE/fgdata}" --generic=socket,out,10,127.0.0.1,$FG_GENERIC_UDP,udp,insout)
fi

/usr/games/fgfs "${OPTS[@]}" "$@" >"$FG_LOG" 2>&1 &
FG_PID=$!

# readiness: telnet props server answers, scenery loaded, simulated time advancing
probe() {  # prints "sceneryloaded elapsed" or nothing; bounded by timeout(1): while fgfs
  # is stuck in a long frame, even the TCP connect to its (unserviced) listen socket can hang
  timeout 8 bash -c '
    exec 7<>"/dev/tcp/127.0.0.1/$1" || exit 1
    # no "quit" here: a quit pipelined after the gets drops their pending replies
    printf "data\r\nget /sim/sceneryloaded\r\nget /sim/time/elapsed-sec\r\n" >&7
    IFS=$'"'"'\r'"'"' read -r a <&7; IFS=$'"'"'\r'"'"' read -r b <&7; echo "$a $b"' _ "$TELNET_PORT"
}
READY=0; PREV=
while :; do
  kill -0 "$FG_PID" 2>/dev/null || { echo "fgfs exited before ready, see $FG_LOG" >&2; exit 1; }
  NOW=$(date +%s.%N)
  if [ "$(echo "$NOW - $T0 > $FG_READY_TIMEOUT" | bc)" = 1 ]; then echo "not ready after ${FG_READY_TIMEOUT}s" >&2; exit 1; fi
  R=$(probe 2>/dev/null) || R=
  set -- $R
  if [ "${1:-}" = true ] && [ -n "$PREV" ] && [ "$(echo "${2:-0} > $PREV" | bc)" = 1 ]; then
    printf 'FG_READY after %.1f s (display %s, fgfs pid %s, telnet %s, httpd %s)\n' \
      "$(echo "$(date +%s.%N) - $T0" | bc)" "$DISPLAY" "$FG_PID" "$TELNET_PORT" "$HTTPD_PORT"
    READY=1; break
  fi
  [ "${1:-}" = true ] && PREV=${2:-}
  sleep 0.5
done

# The c172p's Nasal state manager configures an in-air start as an approach: 5 s of simulated
# time after start it sets flaps 1.0 and throttle 0.75 (Aircraft/c172p/Nasal/state-manager.nas),
# which makes the aircraft slow and wallowing. Unless FG_CRUISE=0, put it back into cruise
# configuration once that has happened (sim time > 6 s): flaps 0, throttle $FG_THROTTLE (0.85).
if [ "${FG_CRUISE:-1}" = 1 ]; then
  for _ in $(seq 1 60); do
    R=$(probe 2>/dev/null) || R=; set -- $R
    [ -n "${2:-}" ] && [ "$(echo "${2} > 6.5" | bc)" = 1 ] && break
    sleep 0.5
  done
  if timeout 8 bash -c '
      exec 7<>"/dev/tcp/127.0.0.1/$1" || exit 1
      printf "data\r\nsetd /controls/flight/flaps 0\r\nsetd /controls/engines/engine/throttle %s\r\nget /controls/flight/flaps\r\n" "$2" >&7
      read -r x <&7' _ "$TELNET_PORT" "${FG_THROTTLE:-0.85}"; then
    printf 'FG_CRUISE set (flaps 0, throttle %s) at sim time %s s\n' "${FG_THROTTLE:-0.85}" "${2:-?}"
  else
    echo "FG_CRUISE: could not set flaps/throttle" >&2
  fi
fi
wait "$FG_PID"
