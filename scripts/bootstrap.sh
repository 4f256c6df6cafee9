#!/usr/bin/env bash
# Sets up a Debian 12 machine for z8P Phonebook, builds it, and then either
# starts the program (run) or runs every test (test).
#   bash scripts/bootstrap.sh run
#   bash scripts/bootstrap.sh test
set -euo pipefail

mode=${1:-}
case "$mode" in run|test) ;; *) echo "usage: $0 run|test" >&2; exit 2 ;; esac

caller_dir=$PWD
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-qpa-plugins qt6-serialport-dev qt6-svg-dev qt6-webengine-dev libgl-dev qtkeychain-qt6-dev
  fonts-dejavu-core fonts-liberation2 fonts-urw-base35
  xvfb xauth xdotool xclip python3 poppler-utils socat xdg-utils dbus at-spi2-core python3-pyatspi procps
  clang libclang-rt-14-dev
  gnome-keyring radicale xandikos vdirsyncer openssl
  dpkg-dev desktop-file-utils appstream lintian devscripts
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "${missing[@]}"
fi

jobs=$(nproc)

build() {   # preset
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1" -j "$jobs"
}

if [ "$mode" = run ]; then
  build release
  cd "$caller_dir"
  if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "$root/build/z8p-phonebook"
  fi
  exec "$root/build/z8p-phonebook"
fi

# Tests: a release build, the same under AddressSanitizer and
# UndefinedBehaviorSanitizer, and a bounded fuzz run of the search patterns.
build release
build sanitize

echo "== fuzzing"
build fuzz
build-fuzz/fuzz_pattern -runs=1200000 -max_len=64 -seed=1 2>&1 | tail -n 3
echo "== fuzzing the vCard and CSV readers"
build-fuzz/fuzz_exchange -runs=200000 -max_len=512 -seed=1 2>&1 | tail -n 3

echo "== bench (smoke run, small book)"
build/bench/bench_phonebook --records 500 --reps 2 >/dev/null

status=0
echo "== tests (release)"
(cd build && ctest --output-on-failure -j "$jobs") || status=1
echo "== tests (AddressSanitizer + UndefinedBehaviorSanitizer)"
(cd build-sanitize && ctest --output-on-failure -j "$jobs") || status=1
exit $status
