#!/usr/bin/env bash
# Installs what is missing, builds, and runs the relay under Wine on a virtual display
# until Ctrl-C. The settings come from quendra.ini in the repository's root folder
# (copy quendra.ini.example to start); without one the defaults apply.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/install-deps.sh
cmake -S . -B build/x86_64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-w64-mingw32.cmake >/dev/null
cmake --build build/x86_64 -j"$(nproc)" --target quendra

install_dir=$root/run/program
mkdir -p "$install_dir"
cp build/x86_64/app/quendra.exe "$install_dir/"
rm -f "$install_dir/quendra.ini"
[ -f quendra.ini ] && cp quendra.ini "$install_dir/"

. scripts/wine-session.sh
wine_session_start "$root/run/wineprefix"

# The settings as the program will read them, for the message below.
ini_value() {  # $1: key; prints the value in [General], if any
  [ -f "$install_dir/quendra.ini" ] || return 0
  tr -d '\r' <"$install_dir/quendra.ini" | awk -v key="$1" '
    /^[ \t]*\[/ { section = tolower($0); gsub(/[ \t\[\]]/, "", section); next }
    section == "general" {
      eq = index($0, "="); if (eq == 0) next
      k = substr($0, 1, eq - 1); gsub(/^[ \t]+|[ \t]+$/, "", k)
      if (tolower(k) == tolower(key)) { v = substr($0, eq + 1); gsub(/^[ \t]+|[ \t]+$/, "", v); gsub(/^"|"$/, "", v); print v; exit }
    }'
}
output=$(ini_value OutputFile)
grep -qi '^[ \t]*OutputFile[ \t]*=' "$install_dir/quendra.ini" 2>/dev/null || output='C:\output.txt'
case "$output" in
  [Cc]:\\*) linux_output="$WINEPREFIX/drive_c/$(printf '%s' "${output:3}" | tr '\\' /)" ;;
  [Zz]:\\*) linux_output="/$(printf '%s' "${output:3}" | tr '\\' /)" ;;
  "") linux_output="(standard output of the program)" ;;
  *) linux_output="$install_dir/$(printf '%s' "$output" | tr '\\' /)" ;;
esac

# A session of its own, so that Ctrl-C reaches this script and not the program.
setsid /usr/lib/wine/wine64 "$install_dir/quendra.exe" &
quendra_pid=$!

stop() {
  trap - INT TERM EXIT
  echo
  echo "Stopping Quendra..."
  # taskkill without /f asks the program's windows to close, as "Exit" does.
  /usr/lib/wine/wine64 taskkill /im quendra.exe >/dev/null 2>&1 || true
  for _ in $(seq 50); do kill -0 "$quendra_pid" 2>/dev/null || break; sleep 0.1; done
  wait "$quendra_pid" 2>/dev/null && echo "Quendra ended (exit code 0)." || echo "Quendra ended (exit code $?)."
  wine_session_stop
}
trap 'stop; exit 0' INT TERM
trap stop EXIT

# Under Wine the listening socket is held by the prefix's wineserver, so look for
# the port among that server's sockets.
our_wineserver() {
  for p in $(pgrep -x wineserver64) $(pgrep -x wineserver); do
    tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && echo "$p"
  done | head -n 1
}
server_pid=$(our_wineserver || true)
port=""
for _ in $(seq 100); do
  port=$(ss -ltnpH 2>/dev/null | awk -v pid="pid=$server_pid," 'index($0, pid) { n = split($4, a, ":"); print a[n]; exit }')
  [ -n "$port" ] && break
  kill -0 "$quendra_pid" 2>/dev/null || break
  sleep 0.1
done
if [ -n "$port" ]; then
  echo "Quendra listens on 0.0.0.0:$port (all local IPv4 addresses)."
else
  echo "Quendra runs but is not listening (port taken, or below 1024 without root?); Ctrl-C ends it."
fi
echo "It writes each received block to $output"
echo "  = $linux_output"
echo "Try: printf 'Hello\\r\\n' | nc -q1 127.0.0.1 ${port:-PORT}; cat '$linux_output'"
echo "Press Ctrl-C to end it."
wait "$quendra_pid" || true
