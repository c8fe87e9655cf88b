#!/usr/bin/env bash
# Developer entry point: ./dev.sh deps | build | demo | gui | test | clients | bench | screenshots
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="${QV_BUILD_DIR:-$here/build}"

install_missing() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  if ((${#missing[@]})); then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    apt-get install -y -q --no-install-recommends "${missing[@]}"
  fi
}

deps() {
  local pkgs=(cmake ninja-build g++ pkg-config qt6-base-dev pxlib-dev libshp-dev shapelib
              libcli11-dev nlohmann-json3-dev libgtest-dev libbenchmark-dev fonts-liberation xvfb
              clang libclang-rt-14-dev libreoffice-writer-nogui pandoc poppler-utils
              qt6-translations-l10n python3-scipy r-base-core)
  install_missing "${pkgs[@]}"
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
  gui)
    deps; build
    shift
    exec "$build/src/app/quorvandelia" "$@"
    ;;
  test)
    # Every test but the slow checks with other programs (label "slow-clients"; see clients).
    deps; build
    cd "$build" && ctest --output-on-failure -j2 -LE slow
    ;;
  clients)
    deps; build
    cd "$build" && ctest --output-on-failure -j2 -L clients
    ;;
  bench)
    deps; build
    for b in "$build"/bench/bench_*; do [[ -x "$b" ]] && "$b"; done
    ;;
  screenshots)
    # The program run for real on a virtual screen, driven as a person would (tools/screenshots.sh).
    deps; build
    install_missing xauth openbox xdotool imagemagick
    xvfb-run -a -s "-screen 0 1280x800x24" "$here/tools/screenshots.sh" \
      "$build/src/app/quorvandelia" "$here/docs/screenshots"
    ;;
  *) echo "usage: $0 deps|build|demo|gui|test|clients|bench|screenshots" >&2; exit 2 ;;
esac
