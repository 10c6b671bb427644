#!/usr/bin/env bash
# Tells whether this machine runs 32-bit x86 programs: exit status 0 when it does, 1 when not.
#   scripts/runs-32bit.sh          the answer as a status
#   scripts/runs-32bit.sh --say    the same, and one line saying which
#
# Some kernels have their 32-bit emulation switched off, and then no 32-bit program starts
# there, the 32-bit Wine loader included ("Exec format error"). Nothing in the kernel's version
# or configuration says so reliably (a boot option turns it off), so the answer comes from
# trying: a 96-byte 32-bit program that only exits with status 32 is written and started.
#
# INS_RUNS_32BIT=yes or no forces the answer, to try the other kind of machine.
set -euo pipefail

say=0
if [ "${1:-}" = "--say" ]; then say=1; fi

answer() {
  if [ "$1" = yes ]; then
    [ "$say" -eq 0 ] || echo "32-bit programs: this machine runs them$2"
    exit 0
  fi
  [ "$say" -eq 0 ] || echo "32-bit programs: this machine runs none$2"
  exit 1
}

case "${INS_RUNS_32BIT:-}" in
  yes) answer yes " (forced by INS_RUNS_32BIT=yes)" ;;
  no) answer no " (forced by INS_RUNS_32BIT=no)" ;;
  "") ;;
  *)
    echo "runs-32bit.sh: INS_RUNS_32BIT must be yes or no, not '$INS_RUNS_32BIT'" >&2
    exit 2
    ;;
esac

# The probe lives in the build folder: programs are started from there anyway, where a
# temporary folder may be mounted without the right to run programs.
probe_dir="$(cd "$(dirname "$0")/.." && pwd)/build/.probe"
mkdir -p "$probe_dir"
probe="$probe_dir/exit32"
if [ ! -x "$probe" ]; then
  # An i386 ELF executable: the file header, one loadable segment holding the whole file at
  # 0x08048000, and the code at 0x08048054: mov ebx, 32; mov eax, 1 (exit); int 0x80.
  {
    printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'
    printf '\x02\x00\x03\x00\x01\x00\x00\x00'
    printf '\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00'
    printf '\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00'
    printf '\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08'
    printf '\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00'
    printf '\xbb\x20\x00\x00\x00\xb8\x01\x00\x00\x00\xcd\x80'
  } >"$probe.new"
  chmod +x "$probe.new"
  mv "$probe.new" "$probe"
fi

status=0
"$probe" 2>/dev/null || status=$?
if [ "$status" -eq 32 ]; then answer yes ""; fi
answer no " (a 32-bit test program could not start: status $status)"
