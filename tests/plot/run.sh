#!/usr/bin/env bash
# hub-replay --plot draws a replay that a browser shows: the SVG of a walk in
# the locomotion mode "Advanced" and of a Flight Sim session renders in
# headless Chromium to a picture with the axes, the legend and the curves in
# their colours. hub-replay --report writes a page that loads on its own:
# nothing fetched, no error, and the lost Stepdeck drawn in its colour.
# Needs: chromium, imagemagick, a built hub-replay.
#   tests/plot/run.sh [build/native/bin/hub-replay] [--docs RECORDING]
# --docs also checks the report of RECORDING, a recording with a lost
# Stepdeck, and makes its screenshot docs/report.png, the README's.
set -euo pipefail
cd "$(dirname "$0")/../.."
docs=""
if [ "${1:-}" != "--docs" ] && [ $# -gt 0 ]; then replay_arg=$1; shift; fi
[ "${1:-}" = "--docs" ] && docs=$(realpath "${2:?--docs needs a recording}")
replay=$(realpath "${replay_arg:-build/native/bin/hub-replay}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0
failed=0

# awk conditions on r, g, b (0 ... 255) true for a pixel of a clearly coloured curve.
declare -A HUE=(
  [red]="r > g + 50 && r > b + 50"
  [green]="g > r + 50 && g > b + 25"
  [blue]="b > r + 50 && b > g + 25"
  [cyan]="g > r + 50 && b > r + 50"
)

# Pixels of a hue in a picture, counted from its colour histogram.
pixels_of() {  # PNG HUE
  convert "$1" -format %c histogram:info:- |
    awk -v FS='[(),: ]+' "{ n = \$2; r = \$3; g = \$4; b = \$5; if (${HUE[$2]}) total += n } END { print total + 0 }"
}

shoot() {  # PAGE PNG HEIGHT: the browser's log on standard output
  chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run --disable-background-networking \
    --disable-component-update --disable-sync --user-data-dir="$work/profile" --enable-logging=stderr --v=0 \
    --screenshot="$2" --window-size=1200,"$3" "file://$1" 2>&1
}

verdict() {  # NAME PROBLEMS [DETAIL]
  if [ -n "$2" ]; then
    echo "FAIL $1:$2"
    failed=$((failed + 1))
  else
    echo "ok   $1${3:-}"
    passed=$((passed + 1))
  fi
}

check() {  # NAME SCRIPT HUE...
  local name=$1 script=$2
  shift 2
  "$replay" --plot "$work/$name.svg" "$script" >/dev/null
  shoot "$work/$name.svg" "$work/$name.png" 960 >/dev/null
  local colours problems=""
  colours=$(identify -format %k "$work/$name.png")
  [ "$colours" -ge 64 ] || problems+=" only $colours colours (blank?)"
  for hue in "$@"; do
    [ "$(pixels_of "$work/$name.png" "$hue")" -ge 500 ] || problems+=" no $hue curve"
  done
  for title in "Locomotion (XDRV" "Feeder axes" "Advanced step tracker speed" "time since the first tick (s)"; do
    grep -q "$title" "$work/$name.svg" || problems+=" no '$title'"
  done
  verdict "$name" "$problems" ": $colours colours"
}

check_report() {  # NAME SCRIPT
  local name=$1 script=$2 problems="" log
  "$replay" --report "$work/$name.html" "$script" >/dev/null
  log=$(shoot "$work/$name.html" "$work/$name.png" 2400)
  # Only the SVG namespace may name another place; a console message or a
  # failed load is an error of the page.
  grep -v 'xmlns="http://www.w3.org/2000/svg"' "$work/$name.html" | grep -qiE 'https?:|src=|href=|url\(|<script' &&
    problems+=" refers to something outside"
  echo "$log" | grep -qE 'CONSOLE|Failed to load|net::ERR' && problems+=" browser errors: $(echo "$log" | grep -E 'CONSOLE|Failed|ERR' | head -3)"
  [ "$(identify -format %k "$work/$name.png")" -ge 64 ] || problems+=" blank?"
  [ "$(pixels_of "$work/$name.png" red)" -ge 500 ] || problems+=" no lost Stepdeck in the timeline"
  for title in "Summary" "Tick timing" "Timeline" "The wire" "Locomotion (XDRV"; do
    grep -q "$title" "$work/$name.html" || problems+=" no '$title'"
  done
  verdict "$name" "$problems"
}

check advanced_walk tests/replay/advanced_walk.jsonl red green blue
check flight_sim tests/replay/flight_sim.jsonl blue cyan
check_report refind_report tests/replay/refind.jsonl
if [ -n "$docs" ]; then
  check_report recording "$docs"
  # The page down to the end of its timeline.
  convert "$work/recording.png" -crop 1200x1560+0+0 +repage docs/report.png
  echo "docs/report.png updated"
fi
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
