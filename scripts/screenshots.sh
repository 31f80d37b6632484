#!/usr/bin/env bash
# Takes the README's pictures of the real program under Wine on a virtual display:
# docs/start-strip.png (the caption strip at start) and docs/icon-menu.png (the
# notification-area icon with its menu open). Give the quendra.exe to show, or build
# first with scripts/build.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
exe=${1:-build/x86_64/app/quendra.exe}
[ -f "$exe" ] || { echo "screenshots: no $exe; run scripts/build.sh first" >&2; exit 1; }

work=$(mktemp -d)
relay_pid=""
. scripts/wine-session.sh
cleanup() {
  [ -n "$relay_pid" ] && kill "$relay_pid" 2>/dev/null || true
  wine_session_stop
  rm -rf "$work"
}
trap cleanup EXIT
wine_session_start "$PWD/build/screenshots/wineprefix"

# The geometry "W H X Y" of the first viewable X window whose xwininfo line matches.
viewable_window() {
  xwininfo -root -tree | awk -v pattern="$1" '$0 ~ pattern { print $1 }' | while read -r id; do
    info=$(xwininfo -id "$id")
    if grep -q "IsViewable" <<<"$info"; then
      awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4}
           /Width:/ {w=$2} /Height:/ {h=$2} END {print w, h, x, y}' <<<"$info"
      break
    fi
  done
}

# Waits up to 10 s for a viewable window that matches; prints its geometry.
wait_for_window() {
  for _ in $(seq 200); do
    geometry=$(viewable_window "$1")
    [ -n "$geometry" ] && { echo "$geometry"; return 0; }
    sleep 0.05
  done
  echo "screenshots: no window matching $1 appeared" >&2
  return 1
}

# Crops the screen around a rectangle, with a margin, and doubles it for the README.
shoot() {  # $1: file, $2..$5: x y width height of the region
  import -window root -crop "$4x$5+$2+$3" +repage -filter point -resize 200% "$1"
  echo "saved $1"
}

cp "$exe" "$work/quendra.exe"
printf '[General]\r\nListenOnPort=42901\r\nOutputFile=output.txt\r\nIdlePriority=0\r\n' >"$work/quendra.ini"
/usr/lib/wine/wine64 "$work/quendra.exe" </dev/null >/dev/null 2>&1 &
relay_pid=$!

# The strip shows for about 1.5 s: catch it while it is there.
read -r w h x y < <(wait_for_window '"Quendra": .* 121x13\+')
mkdir -p docs
shoot docs/start-strip.png $((x - 60)) $((y - 24)) $((w + 120)) $((h + 48))

for _ in $(seq 200); do
  [ -z "$(viewable_window '"Quendra": .* 121x13\+')" ] && break
  sleep 0.05
done

# Right-click the icon, then hover the menu's item as a person would before choosing it.
read -r _ _ tx ty < <(wait_for_window '"Wine System Tray"')
xdotool mousemove $((tx + 10)) $((ty + 10))
sleep 0.5
xdotool click 3
sleep 1.5
xdotool mousemove $((tx + 40)) $((ty + 21))
sleep 0.7
shoot docs/icon-menu.png 0 0 $((tx + 150)) $((ty + 60))

# Choose "Exit": the program ends by itself.
xdotool click 1
for _ in $(seq 100); do
  kill -0 "$relay_pid" 2>/dev/null || { relay_pid=""; break; }
  sleep 0.1
done
[ -z "$relay_pid" ] || echo "screenshots: the program did not end after Exit" >&2
