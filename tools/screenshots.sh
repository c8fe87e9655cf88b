#!/usr/bin/env bash
# Runs the desktop program for real on a virtual screen (Xvfb, with the Openbox window manager
# for the title bars), drives it with xdotool as a person would, and takes screenshots of the
# main window, the parameters dialog in both phases and the report window after an analysis.
# Usage: tools/screenshots.sh PROGRAM OUTDIR   (run under xvfb-run; ./dev.sh screenshots does)
set -euo pipefail
program="$1"
out="$2"
here="$(cd "$(dirname "$0")/.." && pwd)"
table="$here/examples/onofri_winterwheat.db"
mkdir -p "$out"

shot() {  # the screen, trimmed to the windows on it
  sleep 0.8
  import -window root "$out/$1.tmp.png"
  convert "$out/$1.tmp.png" -trim +repage "$out/$1.png"
  rm -f "$out/$1.tmp.png"
}

openbox >/dev/null 2>&1 &
wm=$!
sleep 1
LANG=pt_BR.UTF-8 "$program" &
app=$!
trap 'kill $app $wm 2>/dev/null || true' EXIT
sleep 2
xdotool search --sync --name '^Quorvandelia$' windowactivate --sync

# The main window with the analyses menu open (its first item highlighted) and the hint of
# the highlighted item, "&Eberhart e Russell", in the status bar.
xdotool key alt+a
sleep 0.5
xdotool key Down Down Down Down Down
shot main

# Eberhart & Russell: the file dialog, then both phases of the parameters dialog.
xdotool key Return
sleep 1.5
xdotool key ctrl+a
xdotool type --delay 5 "$table"
xdotool key Return
sleep 1.5
xdotool type --delay 20 "8"
xdotool key Tab
xdotool type --delay 20 "7"
shot parameters-table
xdotool key Return
sleep 0.8
xdotool key Return   # "Esta tudo Ok ...?" Yes
sleep 1.2
xdotool type --delay 20 "98"
xdotool key Tab
xdotool type --delay 20 "0.148804"
xdotool key Tab
xdotool type --delay 20 "3"
shot parameters-variable
xdotool key Return
sleep 0.8
xdotool key Return
sleep 2.5
shot report
