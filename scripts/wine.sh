# Running the Windows programs under Wine. Sourced by the other scripts.
#
#   wine_usable ARCH   succeeds when this host can run ARCH's program (x64 or
#                      x86) under Wine; otherwise prints why not and fails
#   use_wine ARCH      exports WINELOADER, WINESERVER and WINEARCH for ARCH
#
# The 64-bit program runs under Wine's 64-bit loader. The 32-bit one runs
# under the 32-bit loader, which a kernel without 32-bit emulation cannot
# start ("Exec format error"). Both use the 64-bit server with a 64-bit
# prefix, as a 32-bit program on today's 64-bit Windows does; a prefix holds
# one arch's registry, so callers give each arch a WINEPREFIX of its own.

wine_loader() {
  case $1 in
    x64) echo /usr/lib/wine/wine64 ;;
    x86) echo /usr/lib/wine/wine ;;
    *) echo "unknown Windows architecture: $1" >&2; return 1 ;;
  esac
}

wine_usable() {
  local loader error
  loader=$(wine_loader "$1") || return 1
  error=$("$loader" --version 2>&1 >/dev/null) && return 0
  echo "this host cannot run $loader: ${error##*: }"
  return 1
}

use_wine() {
  WINELOADER=$(wine_loader "$1") || return 1
  export WINELOADER WINESERVER=/usr/lib/wine/wineserver64 WINEARCH=win64
}
