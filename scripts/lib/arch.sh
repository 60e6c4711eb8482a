# Which Windows build the scripts make, test and run.
#
# The shipped program is 32-bit (i686). Some machines' kernels cannot run
# 32-bit Linux programs, so a 32-bit Wine there runs only under a CPU
# emulator (qemu-user registered for i386), where a single test takes
# minutes. There the scripts build the same sources for 64-bit Windows
# (x86_64) and run them under the native 64-bit Wine instead.
#
#   KV_ARCH=i686|x86_64   force a choice (default: detected)

# A KV_ARCH a parent script only guessed (for example before setup had
# installed Wine) is not a request: guess again.
if [ -n "${KV_ARCH_GUESSED:-}" ]; then
  KV_ARCH_REQUESTED=
else
  KV_ARCH_REQUESTED=${KV_ARCH:-}
fi
KV_WINEPREFIX_REQUESTED=${WINEPREFIX:-}

kv_detect_arch() {
  if [ -n "$KV_ARCH_REQUESTED" ]; then
    KV_ARCH=$KV_ARCH_REQUESTED
  elif [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
    KV_ARCH=x86_64
  elif [ -x /usr/lib/wine/wine ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    KV_ARCH=x86_64
  elif [ ! -x /usr/lib/wine/wine ] && [ -x /usr/lib/wine/wine64 ]; then
    KV_ARCH=x86_64
  else
    KV_ARCH=i686
  fi
  [ -n "$KV_ARCH_REQUESTED" ] || export KV_ARCH_GUESSED=1
  export KV_ARCH
}

# Sets the toolchain file, the Wine prefix and, for x86_64, puts the 64-bit
# Wine first on PATH under the usual names. Call again after setup has
# installed Wine: on a fresh machine the first guess cannot look at it.
kv_apply_arch() {
  kv_detect_arch
  KV_TOOLCHAIN=$KV_TOP/cmake/mingw-$KV_ARCH.cmake
  if [ "$KV_ARCH" = x86_64 ]; then
    export WINEPREFIX=${KV_WINEPREFIX_REQUESTED:-$KV_BUILD/wineprefix64}
    export WINELOADER=/usr/lib/wine/wine64
    local bin=$KV_BUILD/winebin
    mkdir -p "$bin"
    # Scripts, not links: the loader started under the name "wine" looks
    # for its 32-bit self and spins.
    rm -f "$bin/wine" "$bin/wine64" "$bin/wineserver" "$bin/wineboot"
    printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' >"$bin/wine"
    printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' >"$bin/wine64"
    printf '#!/bin/sh\nexec /usr/lib/wine/wineserver64 "$@"\n' >"$bin/wineserver"
    printf '#!/bin/sh\nexec /usr/lib/wine/wine64 wineboot "$@"\n' >"$bin/wineboot"
    chmod +x "$bin/wine" "$bin/wine64" "$bin/wineserver" "$bin/wineboot"
    case ":$PATH:" in *":$bin:"*) ;; *) export PATH="$bin:$PATH" ;; esac
  else
    export WINEPREFIX=${KV_WINEPREFIX_REQUESTED:-$KV_BUILD/wineprefix}
  fi
}
