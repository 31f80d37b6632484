# Sourced by the scripts: a private X display and a Wine prefix of our own, and
# their clean end. Only the Xvfb and the wineserver started here are stopped.

wine_session_start() {  # $1: the prefix folder
  export WINEPREFIX=$1 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
  local n=90
  while [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ]; do n=$((n + 1)); done
  # A session of its own, so that a Ctrl-C meant for the script does not end the display.
  setsid Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  QUENDRA_XVFB_PID=$!
  export DISPLAY=":$n"
  for _ in $(seq 100); do [ -e /tmp/.X11-unix/X$n ] && break; sleep 0.05; done
  mkdir -p "$WINEPREFIX"
  # One server for the whole session; it answers 2 when one already runs for the prefix.
  /usr/lib/wine/wineserver -p || true
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Preparing the Wine prefix in $WINEPREFIX (once)..."
    /usr/lib/wine/wine64 wineboot -i </dev/null >/dev/null 2>&1 || true
  fi
  # Start Wine's background processes (services, the desktop and its tray) now, with
  # nothing inherited: started by a test, they would hold its output pipe open and
  # ctest would wait for them.
  /usr/lib/wine/wine64 rundll32.exe user32.dll,GetDesktopWindow </dev/null >/dev/null 2>&1 || true
}

wine_session_stop() {
  [ -n "${WINEPREFIX:-}" ] && /usr/lib/wine/wineserver -k 2>/dev/null || true
  [ -n "${QUENDRA_XVFB_PID:-}" ] && kill "$QUENDRA_XVFB_PID" 2>/dev/null || true
  QUENDRA_XVFB_PID=""
}
