# Installs, when missing, the Debian packages that building and testing need.
# Sourced by the other scripts; `need_packages TOOL:PACKAGE ...` installs
# PACKAGE unless TOOL (a command, or a file when it starts with /) is there.
# `build_windows_programs DIR [CMAKE_OPTION ...]` builds DIR/windows-x64 and
# DIR/windows-x86; `build_windows_program DIR ARCH [CMAKE_OPTION ...]` builds
# the one of ARCH (x64 or x86) in DIR.

need_packages() {
  local missing=() entry tool package
  for entry in "$@"; do
    tool=${entry%%:*}
    package=${entry#*:}
    if [[ $tool == /* ]]; then
      [[ -e $tool ]] && continue
    else
      command -v "$tool" >/dev/null 2>&1 && continue
    fi
    missing+=("$package")
  done
  ((${#missing[@]})) || return 0
  if [[ " ${missing[*]} " == *" wine32"* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  echo "Installing: ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
}

# What the Windows program needs to be built and run under Wine.
need_windows_build() {
  need_packages cmake:cmake make:make python3:python3 \
    i686-w64-mingw32-g++-posix:g++-mingw-w64-i686-posix i686-w64-mingw32-windres:binutils-mingw-w64-i686 \
    x86_64-w64-mingw32-g++-posix:g++-mingw-w64-x86-64-posix \
    x86_64-w64-mingw32-windres:binutils-mingw-w64-x86-64
}

# wine32 installs on any amd64 host, also where the kernel cannot run it;
# scripts/wine.sh tells which loader works here. The font has the Chinese
# that Wine's own fonts lack (scripts/run links it in).
need_wine() {
  need_packages wine:wine /usr/lib/wine/wine64:wine64 /usr/lib/wine/wineserver64:wine64 \
    /usr/lib/wine/wine:wine32 Xvfb:xvfb xdotool:xdotool import:imagemagick xwininfo:x11-utils \
    /usr/share/fonts/truetype/wqy/wqy-microhei.ttc:fonts-wqy-microhei
}

# What the test stages need beyond the builds: they run without a network.
need_test_stages() {
  need_packages ip:iproute2 unshare:util-linux python3:python3 \
    /usr/sbin/dovecot:dovecot-core /usr/lib/dovecot/pop3-login:dovecot-pop3d \
    /usr/lib/dovecot/imap-login:dovecot-imapd
}

# What the native build and its unit tests need.
need_native_build() {
  need_packages cmake:cmake make:make g++:g++ /usr/include/gtest/gtest.h:libgtest-dev \
    /usr/src/googletest/CMakeLists.txt:googletest /usr/include/openssl/ssl.h:libssl-dev \
    openssl:openssl
}

# clang with libFuzzer, for the fuzz targets.
need_fuzzing() {
  need_packages clang:clang \
    /usr/lib/llvm-14/lib/clang/14.0.6/lib/linux/libclang_rt.fuzzer-x86_64.a:libclang-rt-14-dev
}

# One Windows program, cross-built into DIR.
build_windows_program() {
  local dir=$1 toolchain=x86_64 root
  [[ $2 == x86 ]] && toolchain=i686
  shift 2
  root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  need_windows_build
  cmake -S "$root" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$toolchain.cmake" \
    -DCMAKE_BUILD_TYPE=MinSizeRel "$@" >/dev/null
  cmake --build "$dir" -j "$(nproc)"
}

# Both Windows programs, cross-built into DIR/windows-x64 and DIR/windows-x86.
build_windows_programs() {
  local dir=$1 arch
  shift
  for arch in x64 x86; do
    build_windows_program "$dir/windows-$arch" "$arch" "$@"
  done
}
