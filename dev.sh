#!/usr/bin/env bash
# Developer entry point: ./dev.sh deps | build | demo | test | bench
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="${QV_BUILD_DIR:-$here/build}"

deps() {
  local pkgs=(cmake ninja-build g++ pkg-config qt6-base-dev pxlib-dev libshp-dev shapelib
              libcli11-dev libgtest-dev libbenchmark-dev fonts-liberation xvfb
              clang libclang-rt-14-dev)
  local missing=()
  for p in "${pkgs[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  if ((${#missing[@]})); then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    apt-get install -y -q --no-install-recommends "${missing[@]}"
  fi
}

build() {
  local werror=OFF
  [[ "${CI:-}" == "true" ]] && werror=ON
  cmake -S "$here" -B "$build" -G Ninja -DQV_WERROR="$werror" >/dev/null
  cmake --build "$build"
}

case "${1:-}" in
  deps) deps ;;
  build) deps; build ;;
  demo)
    deps; build
    "$build/src/cli/quorvandelia-cli" analyze --method wricke \
      "$here/examples/onofri_winterwheat.db" -g 8 -a 7 -r 3
    ;;
  test)
    deps; build
    cd "$build" && ctest --output-on-failure -j2
    ;;
  bench)
    deps; build
    for b in "$build"/bench/bench_*; do [[ -x "$b" ]] && "$b"; done
    ;;
  *) echo "usage: $0 deps|build|demo|test|bench" >&2; exit 2 ;;
esac
