# Shared by scripts/test and scripts/run: build folder, Wine prefix, display.
# Source it; it defines functions and sets KV_* variables.

KV_TOP=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
KV_BUILD=${KV_BUILD:-$KV_TOP/build}

export WINEDEBUG=${WINEDEBUG:--all}
# The tests' and the demo's Wine prefix lives in the build folder, never in
# the user's ~/.wine (arch.sh picks it with the build's architecture).
source "$KV_TOP/scripts/lib/arch.sh"
kv_apply_arch
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree=;mshtml=}

kv_started_pids=()

kv_configure_and_build() {
  kv_apply_arch
  # A build folder configured for the other architecture starts afresh.
  if [ -f "$KV_BUILD/CMakeCache.txt" ] &&
     ! grep -q "^CMAKE_TOOLCHAIN_FILE:.*=$KV_TOOLCHAIN\$" "$KV_BUILD/CMakeCache.txt"; then
    echo "build: switching $KV_BUILD to $KV_ARCH"
    rm -rf "$KV_BUILD/CMakeCache.txt" "$KV_BUILD/CMakeFiles"
  fi
  cmake -S "$KV_TOP" -B "$KV_BUILD" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$KV_TOOLCHAIN" \
    -DKV_DEPS_DIR="$KV_BUILD/deps" "$@" >/dev/null
  cmake --build "$KV_BUILD"
}

# One persistent wine server with detached streams: without detaching, the
# wine services inherit ctest's output pipe and ctest never finishes.
kv_start_wineserver() {
  mkdir -p "$WINEPREFIX"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine: creating the prefix in $WINEPREFIX"
    # The session that creates a prefix cannot start Wine's RPC service
    # again once it has gone ("Failed to start RpcSs service"), and then
    # every COM call that needs it (the web page host, the program's
    # start) waits 3-10 s. So the prefix is made in a session of its own.
    wineboot -i </dev/null >/dev/null 2>&1 || true
    wineboot -s </dev/null >/dev/null 2>&1 || true
    timeout 30 wineserver -w </dev/null >/dev/null 2>&1 || wineserver -k </dev/null >/dev/null 2>&1 || true
  fi
  kv_keep_drives_in_build
  wineserver -f -p </dev/null >/dev/null 2>&1 &
  kv_started_pids+=($!)
  wineboot -i </dev/null >/dev/null 2>&1 || true
  # Chinese text: map the face the program asks for to the installed CJK font.
  # (A fresh prefix names the font in its font list already, so look for
  # the replacement key itself.)
  if ! grep -q '^\[Software\\\\Wine\\\\Fonts\\\\Replacements\]' "$WINEPREFIX/user.reg" 2>/dev/null; then
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v '微软雅黑' /t REG_SZ \
      /d 'WenQuanYi Micro Hei' /f </dev/null >/dev/null 2>&1 || true
  fi
}

# Wine maps the host's "/" to Z:, a fixed drive with the host's free space,
# so the program's default install root ("<fixed drive with most free
# space>korvan", the later drive on a tie) would be the host's /korvan.
# Typed as a network drive (what a host share is on Windows), Z: stays
# readable and writable but is never an install drive, and the default
# root becomes C:\korvan, which is $WINEPREFIX/drive_c/korvan inside the
# build folder. Wine's mount manager reads the type only when it starts,
# so this runs before the persistent wine server; a prefix made before
# this rule gets it here once.
kv_keep_drives_in_build() {
  grep -q '^"z:"="network"' "$WINEPREFIX/system.reg" 2>/dev/null && return 0
  wine reg add 'HKLM\Software\Wine\Drives' /v z: /t REG_SZ /d network /f \
    </dev/null >/dev/null 2>&1 || true
  timeout 30 wineserver -w </dev/null >/dev/null 2>&1 || wineserver -k </dev/null >/dev/null 2>&1 || true
  if ! grep -q '^"z:"="network"' "$WINEPREFIX/system.reg" 2>/dev/null; then
    echo "wine: could not mark Z: as a network drive; the program would install to the host's /korvan" >&2
    return 1
  fi
}

# Wine's desktop process starts with the first program that makes a window
# and inherits that program's output; if a test started it, ctest would wait
# on it. A detached helper holding a hidden window owns it instead.
kv_hold_desktop() {
  local helper=$KV_BUILD/tests/bin/kv_test_child.exe
  [ -f "$helper" ] || return 0
  wine "$helper" hold-desktop </dev/null >/dev/null 2>&1 &
  kv_started_pids+=($!)
  sleep 1
}

# Starts Xvfb on a free display unless one is usable; sets DISPLAY.
kv_ensure_display() {
  if [ -n "${DISPLAY:-}" ] && [ "${KV_FORCE_XVFB:-0}" != 1 ] && xdpyinfo >/dev/null 2>&1; then
    return 0
  fi
  local n
  for n in $(seq 91 140); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
    kv_started_pids+=($!)
    export DISPLAY=":$n"
    local i
    for i in $(seq 1 50); do
      xdpyinfo >/dev/null 2>&1 && return 0
      sleep 0.1
    done
    echo "Xvfb on :$n did not come up" >&2
    return 1
  done
  echo "no free display number" >&2
  return 1
}

kv_stop_started() {
  wineserver -k </dev/null >/dev/null 2>&1 || true
  local pid
  for pid in "${kv_started_pids[@]}"; do
    kill "$pid" 2>/dev/null || true
  done
  for pid in "${kv_started_pids[@]}"; do
    wait "$pid" 2>/dev/null || true
  done
  kv_started_pids=()
}
