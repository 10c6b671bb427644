#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the benchmarks need.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  clang clang-format libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libcli11-dev nlohmann-json3-dev libcpp-httplib-dev libgeographiclib-dev
  libsdl2-dev sox
  librsvg2-bin imagemagick fonts-dseg fonts-dejavu-core fonts-dejavu-extra fontconfig
  libcairo2-dev libpango1.0-dev libfontconfig-dev libpng-dev
  valgrind python3
  chromium
  # Windows: the cross compilers (POSIX threads, so std::thread and std::mutex exist), their
  # binutils (objdump, windres), Wine to run what they build (wine32 from the i386 architecture
  # for the 32-bit INS.gau), and zlib for the Windows host's pictures.
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine wine64 wine32:i386 libz-mingw-w64-dev
)

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

# wine32 is an i386 package: the architecture must be known to dpkg before apt reads its lists.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${sudo_cmd[@]}" dpkg --add-architecture i386
fi

# Only touch apt when something is missing, so a warm machine starts fast.
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  "${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=600 update
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=600 install -y --no-install-recommends "${missing[@]}"
fi

# FlightGear, for `ins-host link`'s test against the real simulator (1.8 GB download, about 3 GB
# on disk, a minute here); Xvfb runs it headless. It is installed on its own, after everything
# else: a machine without room for it, or where it cannot be installed, goes on without it, and
# that one test is then reported as not run. INS_NO_FLIGHTGEAR=1 leaves it out on purpose.
flightgear_packages=(flightgear xvfb xauth bc)
flightgear_room_kb=$((4 * 1024 * 1024))
flightgear_missing=()
for p in "${flightgear_packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
    flightgear_missing+=("$p")
done
if [ "${INS_NO_FLIGHTGEAR:-0}" != 1 ] && [ ${#flightgear_missing[@]} -gt 0 ]; then
  free_kb=$(df --output=avail -k /var/cache/apt | tail -1)
  if [ "$free_kb" -lt "$flightgear_room_kb" ]; then
    echo "FlightGear not installed: $((free_kb / 1024)) MB free, it needs about 4 GB" \
      "(its test will be reported as not run)"
  elif ! { "${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=600 update &&
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=600 \
      install -y --no-install-recommends "${flightgear_missing[@]}"; }; then
    echo "FlightGear could not be installed (its test will be reported as not run)"
  fi
fi

# Node and npm, unless a Node is already there (a machine may carry a newer one of its own).
if ! command -v npm >/dev/null 2>&1; then
  "${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=600 update
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=600 install -y --no-install-recommends nodejs npm
fi

# The web panel's libraries and coastlines, and playwright-core for its browser tests, exactly as
# host/web/package-lock.json pins them; installed again only when the lock file changed.
web="$(cd "$(dirname "$0")/.." && pwd)/host/web"
if ! cmp -s "$web/package-lock.json" "$web/node_modules/.installed-from-lock"; then
  (cd "$web" && npm ci --no-audit --no-fund && cp package-lock.json node_modules/.installed-from-lock)
fi
