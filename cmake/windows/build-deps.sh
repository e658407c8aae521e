#!/usr/bin/env bash
# Builds the third-party libraries of the 32-bit Windows cross build (mingw-w64 i686,
# posix threads) into one prefix, as static libraries, so the programs need no extra DLLs.
#
# usage: cmake/windows/build-deps.sh [--prefix DIR] [--check] [--force] [DEP...]
#   DEP         any of: libxml2 googletest apr nlohmann_json (default: all of them)
#   --prefix    install prefix (default: $HL_WINDOWS_DEPS, else build/windows-deps of this checkout)
#   --check     afterwards build cmake/windows/checks against the prefix and run it under Wine
#   --force     rebuild the named dependencies even when their stamps are current
# Environment:
#   HL_WINDOWS_DEPS       install prefix (as --prefix)
#   HL_WINDOWS_SRC_CACHE  where Debian source packages are kept between clones
#                         (default /var/cache/harborline/windows-src)
#   JOBS                  parallel compile jobs (default: number of cores)
#   WINEPREFIX            Wine prefix for --check (default: a throwaway one under /tmp)
#
# How: each dependency has a recipe function; a stamp in <prefix>/.stamps holds a hash of
# the recipe, its patches, the toolchain file, the compiler and the source version, and a
# dependency whose stamp matches is skipped. Sources are Debian's (apt-get source, kept in
# the cache folder), unpacked afresh under <prefix>/src for each build.
set -euo pipefail

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
TOOLCHAIN="$HERE/mingw-i686.cmake"
PATCHES="$HERE/patches"
TRIPLE=i686-w64-mingw32
ALL_DEPS=(libxml2 googletest apr nlohmann_json)

say() { echo "build-deps: $*"; }
die() { echo "build-deps: error: $*" >&2; exit 1; }

usage() { sed -n '5,16p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'; }

PREFIX=${HL_WINDOWS_DEPS:-$ROOT/build/windows-deps}
CHECK=0
FORCE=0
DEPS=()
while [ $# -gt 0 ]; do
  case "$1" in
    --prefix) [ $# -ge 2 ] || die "--prefix needs a directory"; PREFIX=$2; shift 2 ;;
    --prefix=*) PREFIX=${1#--prefix=}; shift ;;
    --check) CHECK=1; shift ;;
    --force) FORCE=1; shift ;;
    -h|--help) usage; exit 0 ;;
    -*) usage >&2; die "unknown option $1" ;;
    *)
      case " ${ALL_DEPS[*]} " in *" $1 "*) DEPS+=("$1") ;; *) die "unknown dependency '$1' (known: ${ALL_DEPS[*]})" ;; esac
      shift ;;
  esac
done
[ ${#DEPS[@]} -gt 0 ] || DEPS=("${ALL_DEPS[@]}")
mkdir -p "$PREFIX" || die "cannot create prefix $PREFIX"
PREFIX=$(cd "$PREFIX" && pwd)
SRC="$PREFIX/src"
STAMPS="$PREFIX/.stamps"
JOBS=${JOBS:-$(nproc 2>/dev/null || echo 2)}

SRC_CACHE=${HL_WINDOWS_SRC_CACHE:-/var/cache/harborline/windows-src}
if ! mkdir -p "$SRC_CACHE" 2>/dev/null || [ ! -w "$SRC_CACHE" ]; then
  SRC_CACHE="${XDG_CACHE_HOME:-$HOME/.cache}/harborline/windows-src"
  mkdir -p "$SRC_CACHE" || die "cannot create a source cache folder"
fi

# The compiler cache hashes paths relative to this base, so another clone's rebuild hits.
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$ROOT} CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-true}
export HL_WINDOWS_DEPS="$PREFIX"

# ---------------------------------------------------------------- tools and packages

# command -> Debian package that provides it
TOOLS=("$TRIPLE-gcc-posix:gcc-mingw-w64-i686-posix" "$TRIPLE-g++-posix:g++-mingw-w64-i686-posix"
       "$TRIPLE-windres:binutils-mingw-w64-i686" "cmake:cmake" "ninja:ninja-build" "cc:gcc"
       "patch:patch" "dpkg-source:dpkg-dev" "pkg-config:pkg-config")
need_tools() {
  local missing=() entry
  for entry in "${TOOLS[@]}" "$@"; do
    command -v "${entry%%:*}" >/dev/null 2>&1 || missing+=("${entry##*:}")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    die "missing packages: ${missing[*]} (as root: apt-get install ${missing[*]})"
  fi
  say "installing ${missing[*]}"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null \
    || { apt-get update -qq >/dev/null && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null; } \
    || die "could not install ${missing[*]}"
}

# Source package lists: apt-get source needs deb-src entries; add them beside the deb ones.
ensure_deb_src() {
  if grep -rqsE '^(deb-src|Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    return 0
  fi
  [ "$(id -u)" -eq 0 ] || die "no deb-src entries in /etc/apt; as root add them and run apt-get update"
  local list=/etc/apt/sources.list.d/debian-src.sources
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed -E 's/^Types:[[:space:]]*deb[[:space:]]*$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources > "$list"
  elif grep -qsE '^deb ' /etc/apt/sources.list; then
    list=/etc/apt/sources.list.d/debian-src.list
    sed -nE 's/^deb /deb-src /p' /etc/apt/sources.list > "$list"
  else
    die "no Debian deb entries found to mirror as deb-src"
  fi
  say "added source package entries in $list" >&2
  apt-get update -qq >/dev/null || die "apt-get update failed"
}

# Newest cached .dsc of a source package; downloads it into the cache when there is none.
source_dsc() {
  local pkg=$1 dsc
  dsc=$(ls "$SRC_CACHE/${pkg}"_*.dsc 2>/dev/null | sort -V | tail -n 1 || true)
  if [ -z "$dsc" ]; then
    ensure_deb_src
    say "$pkg: downloading the Debian source package into $SRC_CACHE" >&2
    if ! (cd "$SRC_CACHE" && apt-get source --download-only -qq -o APT::Sandbox::User=root "$pkg" >/dev/null); then
      apt-get update -qq >/dev/null || true
      (cd "$SRC_CACHE" && apt-get source --download-only -qq -o APT::Sandbox::User=root "$pkg" >/dev/null) \
        || die "$pkg: apt-get source failed"
    fi
    dsc=$(ls "$SRC_CACHE/${pkg}"_*.dsc 2>/dev/null | sort -V | tail -n 1 || true)
    [ -n "$dsc" ] || die "$pkg: no .dsc in $SRC_CACHE after apt-get source"
  fi
  echo "$dsc"
}

# Unpacks a cached source package (with Debian's patches applied) into a fresh directory.
unpack_dsc() {
  local dsc=$1 dest=$2
  rm -rf "$dest"
  mkdir -p "$(dirname "$dest")"
  dpkg-source --no-copy -x "$dsc" "$dest" >"$dest.unpack.log" 2>&1 \
    || { cat "$dest.unpack.log" >&2; die "could not unpack $dsc (a partial download? remove $(basename "${dsc%%_*}")_* from $SRC_CACHE to fetch it again)"; }
}

# Configures, builds and installs a CMake project with the cross toolchain.
cmake_build() {
  local name=$1 source=$2; shift 2
  local build="$SRC/$name-build"
  rm -rf "$build"
  cmake -S "$source" -B "$build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DHL_WINDOWS_DEPS="$PREFIX" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$PREFIX" "$@" \
        >"$build.configure.log" 2>&1 \
    || { tail -n 40 "$build.configure.log" >&2; die "$name: configure failed (log: $build.configure.log)"; }
  cmake --build "$build" -j "$JOBS" >"$build.build.log" 2>&1 \
    || { grep -E 'error|FAILED' "$build.build.log" | head -n 40 >&2; die "$name: build failed (log: $build.build.log)"; }
  cmake --install "$build" >"$build.install.log" 2>&1 \
    || { tail -n 20 "$build.install.log" >&2; die "$name: install failed"; }
}

# ---------------------------------------------------------------- recipes
# Each recipe prints the version of its sources with `version_<dep>` and builds with `build_<dep>`.

version_libxml2() { basename "$(source_dsc libxml2)" .dsc; }
build_libxml2() {
  local dir="$SRC/libxml2"
  unpack_dsc "$(source_dsc libxml2)" "$dir"
  cmake_build libxml2 "$dir" -DBUILD_SHARED_LIBS=OFF \
    -DLIBXML2_WITH_PYTHON=OFF -DLIBXML2_WITH_LZMA=OFF -DLIBXML2_WITH_ZLIB=OFF \
    -DLIBXML2_WITH_ICONV=OFF -DLIBXML2_WITH_ICU=OFF \
    -DLIBXML2_WITH_TESTS=OFF -DLIBXML2_WITH_PROGRAMS=OFF
}

# The googletest package ships its sources in /usr/src/googletest; the source package is the
# fallback when that binary package is not installed.
googletest_source() {
  if [ -f /usr/src/googletest/CMakeLists.txt ]; then
    echo /usr/src/googletest
  else
    local dir="$SRC/googletest"
    [ -f "$dir/CMakeLists.txt" ] || unpack_dsc "$(source_dsc googletest)" "$dir"
    echo "$dir"
  fi
}
version_googletest() {
  if [ -f /usr/src/googletest/CMakeLists.txt ]; then
    echo "googletest $(dpkg-query -W -f='${Version}' googletest 2>/dev/null || echo unknown)"
  else
    basename "$(source_dsc googletest)" .dsc
  fi
}
build_googletest() {
  rm -rf "$SRC/googletest"
  cmake_build googletest "$(googletest_source)" -DBUILD_SHARED_LIBS=OFF -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON
}

# APR's own CMake build is its Windows build; with mingw-w64 on Linux it needs the fixes in
# patches/apr-mingw.patch (header case, light windows.h set vs. the OLE headers, 64-bit
# atomics, the resource script), and its table generator built for this machine.
version_apr() { basename "$(source_dsc apr)" .dsc; }
build_apr() {
  local dir="$SRC/apr"
  unpack_dsc "$(source_dsc apr)" "$dir"
  patch -d "$dir" -p1 --forward --quiet < "$PATCHES/apr-mingw.patch" || die "apr: patches/apr-mingw.patch does not apply"
  cc -O2 -o "$SRC/apr-gen_test_char" "$dir/tools/gen_test_char.c" || die "apr: host gen_test_char failed to build"
  cmake_build apr "$dir" -DAPR_HOST_GEN_TEST_CHAR="$SRC/apr-gen_test_char" \
    -DAPR_BUILD_TESTAPR=OFF -DINSTALL_PDB=OFF -DAPR_INSTALL_PRIVATE_H=OFF
  local version
  version=$(sed -nE 's/^#define APR_(MAJOR|MINOR|PATCH)_VERSION +([0-9]+).*/\2/p' "$PREFIX/include/apr_version.h" | paste -sd.)
  mkdir -p "$PREFIX/lib/pkgconfig"
  cat > "$PREFIX/lib/pkgconfig/apr-1.pc" <<EOF
prefix=\${pcfiledir}/../..
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: APR
Description: Apache Portable Runtime, static library for 32-bit Windows
Version: $version
Cflags: -DAPR_DECLARE_STATIC -I\${includedir}
Libs: -L\${libdir} -lapr-1 -lws2_32 -lmswsock -lrpcrt4 -lshell32 -ladvapi32
EOF
}

# Header-only: Debian's headers and CMake package, copied so the cross build never reads
# /usr/include.
version_nlohmann_json() { echo "nlohmann-json3-dev $(dpkg-query -W -f='${Version}' nlohmann-json3-dev 2>/dev/null || echo unknown)"; }
build_nlohmann_json() {
  [ -f /usr/include/nlohmann/json.hpp ] || die "nlohmann_json: /usr/include/nlohmann missing (apt-get install nlohmann-json3-dev)"
  rm -rf "$PREFIX/include/nlohmann" "$PREFIX/share/cmake/nlohmann_json"
  mkdir -p "$PREFIX/include" "$PREFIX/share/cmake"
  cp -a /usr/include/nlohmann "$PREFIX/include/nlohmann"
  if [ -d /usr/share/cmake/nlohmann_json ]; then
    # The package files locate the headers relative to themselves (three levels up).
    cp -a /usr/share/cmake/nlohmann_json "$PREFIX/share/cmake/nlohmann_json"
  fi
}

# ---------------------------------------------------------------- stamps

# Hash of everything a dependency's result depends on.
recipe_hash() {
  local dep=$1
  {
    declare -f "build_$dep" cmake_build unpack_dsc
    [ "$dep" = googletest ] && declare -f googletest_source
    [ "$dep" = apr ] && cat "$PATCHES/apr-mingw.patch"
    cat "$TOOLCHAIN"
    "$TRIPLE-g++-posix" --version | head -n 1
    "version_$dep"
  } | sha256sum | cut -d' ' -f1
}

# Files whose absence means the dependency must be built again despite its stamp.
products() {
  case "$1" in
    libxml2) echo lib/libxml2.a include/libxml2/libxml/parser.h ;;
    googletest) echo lib/libgtest.a lib/libgmock.a lib/cmake/GTest/GTestConfig.cmake ;;
    apr) echo lib/libapr-1.a include/apr_pools.h lib/pkgconfig/apr-1.pc ;;
    nlohmann_json) echo include/nlohmann/json.hpp ;;
  esac
}
installed() {
  local file
  for file in $(products "$1"); do [ -f "$PREFIX/$file" ] || return 1; done
}

build_dep() {
  local dep=$1 hash start
  hash=$(recipe_hash "$dep")
  if [ $FORCE -eq 0 ] && [ -f "$STAMPS/$dep" ] && [ "$(cat "$STAMPS/$dep")" = "$hash" ] && installed "$dep"; then
    say "$dep: up to date ($("version_$dep")), skipped"
    return 0
  fi
  say "$dep: building $("version_$dep") into $PREFIX"
  start=$(date +%s)
  rm -f "$STAMPS/$dep"
  "build_$dep"
  installed "$dep" || die "$dep: built, but $(products "$dep") not all in $PREFIX"
  mkdir -p "$STAMPS"
  echo "$hash" > "$STAMPS/$dep"
  say "$dep: done in $(( $(date +%s) - start )) s"
}

# ---------------------------------------------------------------- check

run_check() {
  need_tools "wine:wine"
  local build="$PREFIX/check-build"
  export WINEDEBUG=${WINEDEBUG:--all}
  export WINEPREFIX=${WINEPREFIX:-/tmp/harborline-wine-$(id -u)}
  say "check: building cmake/windows/checks against $PREFIX (Wine prefix $WINEPREFIX)"
  rm -rf "$build"
  cmake -S "$HERE/checks" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
        -DHL_WINDOWS_DEPS="$PREFIX" -DCMAKE_BUILD_TYPE=Release >"$build.configure.log" 2>&1 \
    || { tail -n 40 "$build.configure.log" >&2; die "check: configure failed (log: $build.configure.log)"; }
  cmake --build "$build" -j "$JOBS" >"$build.build.log" 2>&1 \
    || { grep -E 'error|FAILED' "$build.build.log" | head -n 40 >&2; die "check: build failed (log: $build.build.log)"; }
  say "check: running under Wine"
  ctest --test-dir "$build" --output-on-failure || die "check: the cross-built programs failed under Wine"
}

# ---------------------------------------------------------------- main

need_tools
for dep in "${DEPS[@]}"; do
  build_dep "$dep"
done
[ $CHECK -eq 1 ] && run_check
say "prefix ready: $PREFIX"
