#!/usr/bin/env bash
# Installs the Debian package on this machine as an administrator would, uses what it installed,
# and removes it again. Needs root, apt-get and xvfb-run. Usage: install_test.sh PACKAGE.deb
# (./dev.sh package-test builds the package and runs this).
set -euo pipefail
deb=$(realpath "$1")
here="$(cd "$(dirname "$0")/../.." && pwd)"
export DEBIAN_FRONTEND=noninteractive
work=$(mktemp -d)
# Whatever happens, the machine is left without the package.
trap 'rm -rf "$work"; dpkg -s quorvandelia >/dev/null 2>&1 && apt-get remove -y -q quorvandelia >/dev/null' EXIT
fail=0
check() { # check DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@"; then echo "ok   $what"; else echo "FAIL $what" >&2; fail=1; fi
}

# apt-get waits for no one: retry while another install holds dpkg's lock.
apt() {
  local i
  for i in $(seq 1 30); do
    if apt-get "$@"; then return 0; fi
    if command -v fuser >/dev/null && ! fuser /var/lib/dpkg/lock-frontend /var/lib/dpkg/lock \
      >/dev/null 2>&1; then
      return 1
    fi
    sleep 10
  done
  return 1
}

# Minimal images tell dpkg not to install some paths (manual pages, documentation): a file
# there is left out by the machine, not missing from the package.
excluded_by_dpkg() {
  local pattern
  while read -r pattern; do
    # shellcheck disable=SC2053
    [[ "$1" == $pattern ]] && return 0
  done < <(sed -n 's/^path-exclude[= ]*//p' /etc/dpkg/dpkg.cfg.d/* 2>/dev/null)
  return 1
}

apt install -y -q "$deb"
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $NF}' | sed 's|^\./|/|')

# Everything the package lists is there, in its standard place.
for f in /usr/bin/quorvandelia /usr/bin/quorvandelia-cli /usr/lib/quorvandelia/cli/quorvandelia-plots.so \
         /usr/share/quorvandelia/Quorvandelia.chm \
         /usr/share/quorvandelia/ajuda/index.html /usr/share/man/man1/quorvandelia-cli.1.gz \
         /usr/share/bash-completion/completions/quorvandelia-cli \
         /usr/share/applications/quorvandelia.desktop \
         /usr/share/icons/hicolor/scalable/apps/quorvandelia.svg \
         /usr/share/icons/hicolor/48x48/apps/quorvandelia.png \
         /usr/share/quorvandelia/exemplos/onofri_winterwheat.db; do
  if excluded_by_dpkg "$f"; then
    echo "skip $f (this machine's dpkg excludes it from installs)"
    continue
  fi
  check "installed $f" test -f "$f"
done

# The installed command line on the installed example: the report the tests hold as golden,
# byte for byte (its numbers were checked against R).
cd "$work"
check "quorvandelia-cli --version" sh -c 'quorvandelia-cli --version | grep -q "^quorvandelia-cli "'
quorvandelia-cli analyze --method wricke /usr/share/quorvandelia/exemplos/onofri_winterwheat.db \
  -g 8 -a 7 -r 3 -o wricke.txt
check "Wricke report of the installed example" cmp wricke.txt "$here/tests/golden/wricke_onofri_r3.txt"
quorvandelia-cli analyze -m eberhart /usr/share/quorvandelia/exemplos/onofri_winterwheat.db \
  -g 8 -a 7 -r 3 --gle 98 --qme 0.148804 -o eberhart.rtf
check "Eberhart report as Rich Text" sh -c 'head -c 5 eberhart.rtf | grep -q "{.rtf"'
# The plots come from the installed module, which the command line loads for --plots.
quorvandelia-cli analyze -m ammi /usr/share/quorvandelia/exemplos/onofri_winterwheat.db \
  -g 8 -a 7 -r 3 --gle 98 --qme 0.148804 -o ammi.txt --plots graficos
check "AMMI plots drawn by the installed module" sh -c 'head -c 5 graficos/yield-ammi1.svg | grep -q "<?xml"'

if command -v man >/dev/null && ! excluded_by_dpkg /usr/share/man/man1/quorvandelia-cli.1.gz; then
  check "manual page found by man" sh -c 'man -w quorvandelia-cli | grep -q quorvandelia-cli.1'
fi

# The installed completion offers the methods.
methods=$(bash -c 'source /usr/share/bash-completion/completions/quorvandelia-cli
  COMP_WORDS=(quorvandelia-cli analyze --method ""); COMP_CWORD=3; _quorvandelia_cli
  echo "${COMPREPLY[*]}"')
check "bash completion of the methods" grep -qw eberhart <<<"$methods"

# The desktop program comes up on a real X server: it shows its main window (and quits when
# it is painted, with QV_EXIT_WHEN_SHOWN), and in a plain start it is still running after 2 s.
check "quorvandelia --version" sh -c 'quorvandelia --version | grep -q "^quorvandelia "'
check "quorvandelia shows its window under Xvfb" \
  env -u QT_QPA_PLATFORM QV_EXIT_WHEN_SHOWN=1 timeout 60 xvfb-run -a quorvandelia
cat >"$work/alive.sh" <<'ALIVE'
quorvandelia & pid=$!
sleep 2
kill -0 "$pid" || exit 1
kill "$pid"; wait "$pid" 2>/dev/null || true
ALIVE
check "quorvandelia still running after 2 s" \
  env -u QT_QPA_PLATFORM timeout 60 xvfb-run -a sh "$work/alive.sh"

# Removal leaves none of the package's files behind.
cd /
apt remove -y -q quorvandelia
left=0
for f in $files; do
  if [[ -e $f ]]; then echo "left behind: $f" >&2; left=1; fi
done
check "removed cleanly" test "$left" = 0
check "dpkg forgot the package" sh -c '! dpkg -s quorvandelia >/dev/null 2>&1'
exit $fail
