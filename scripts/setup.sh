#!/usr/bin/env bash
# Installs what the build needs on a Debian 12 machine and cross-builds the
# image and XML libraries into build/deps/prefix. Safe to run again: every
# step checks first and does nothing when its result is already there.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"
run_locked build "$@"

DEPS="$BUILD/deps"
PREFIX="$DEPS/prefix"
SRC="$DEPS/src"
TOOLCHAIN="$ROOT/cmake/mingw-w64-x86_64.cmake"

PACKAGES=(g++-mingw-w64-x86-64-posix mingw-w64-tools libz-mingw-w64-dev wine wine64
          libwine-dev xvfb xdotool imagemagick cmake googletest dpkg-dev
          nasm libjpeg-turbo-progs xserver-xorg-core xserver-xorg-video-dummy
          nsis pngcheck python3-pil)

log() { say "$*"; }

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

install_packages() {
    local missing=()
    for p in "${PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    log "installing: ${missing[*]}"
    as_root apt-get -o DPkg::Lock::Timeout=600 update ||
        { say "apt-get update failed: check the network and /etc/apt/sources.list*"; return 1; }
    as_root env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y \
        --no-install-recommends "${missing[@]}" ||
        { say "could not install: ${missing[*]}"; return 1; }
}

# Adds a deb-src entry beside each Debian binary source, same address, suites
# and components, so that apt-get source can fetch the library sources.
enable_deb_src() {
    local out=/etc/apt/sources.list.d/snapwell-deb-src.sources
    local legacy=/etc/apt/sources.list.d/snapwell-deb-src.list
    [ -f "$out" ] || [ -f "$legacy" ] && return 0
    if grep -rqsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/ 2>/dev/null; then
        return 0
    fi
    local tmp
    tmp="$(mktemp)"
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
        # deb822 stanzas: copy each "Types: deb" stanza with Types set to deb-src.
        awk 'BEGIN{RS=""; ORS="\n\n"} /(^|\n)Types:[^\n]*deb/ {
                 sub(/Types:[^\n]*/, "Types: deb-src"); print }' \
            /etc/apt/sources.list.d/debian.sources > "$tmp"
        as_root install -m 644 "$tmp" "$out"
    elif [ -f /etc/apt/sources.list ]; then
        grep -E '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' > "$tmp"
        as_root install -m 644 "$tmp" "$legacy"
    fi
    rm -f "$tmp"
    log "deb-src entries added; updating package lists"
    as_root apt-get -o DPkg::Lock::Timeout=600 update
}

fetch_sources() {
    mkdir -p "$SRC"
    local have=1
    for pkg in libjpeg-turbo libpng1.6 tiff pugixml; do
        ls "$SRC"/"${pkg}"_*.orig.tar.* >/dev/null 2>&1 || have=0
    done
    [ $have -eq 1 ] && return 0
    enable_deb_src
    log "fetching library sources"
    # A security update's source is sometimes listed before it is published;
    # the release's own source package then serves.
    local codename
    codename="$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")"
    for pkg in libjpeg-turbo libpng1.6 tiff pugixml; do
        (cd "$SRC" && apt-get source --download-only "$pkg") ||
        (cd "$SRC" && apt-get source --download-only "$pkg/$codename")
    done
    # Unpack the upstream tarballs only; the Debian patches are not needed for
    # a static cross build.
    (cd "$SRC" && for t in *.orig.tar.*; do
        case "$t" in *.asc) continue ;; esac
        tar -xf "$t"
    done)
}

srcdir() { ls -d "$SRC"/$1 2>/dev/null | head -n 1; }

cmake_dep() {
    local name="$1" dir="$2"; shift 2
    local stamp="$DEPS/$name.done"
    # The stamp holds the options the library was built with; changed options
    # build it again.
    local options="$dir $*"
    [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$options" ] && return 0
    [ -d "$dir" ] || { log "no source folder for $name under $SRC"; return 1; }
    log "building $name"
    rm -rf "$DEPS/build-$name"
    cmake -S "$dir" -B "$DEPS/build-$name" -G "Unix Makefiles" \
        -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$PREFIX" -DCMAKE_PREFIX_PATH="$PREFIX" \
        -DBUILD_SHARED_LIBS=OFF "$@" > "$DEPS/build-$name.log" 2>&1 ||
        { tail -n 40 "$DEPS/build-$name.log"; log "configuring $name failed; the log is $DEPS/build-$name.log"; return 1; }
    cmake --build "$DEPS/build-$name" -j"$(nproc)" >> "$DEPS/build-$name.log" 2>&1 &&
    cmake --install "$DEPS/build-$name" >> "$DEPS/build-$name.log" 2>&1 ||
        { tail -n 40 "$DEPS/build-$name.log"; log "building $name failed; the log is $DEPS/build-$name.log"; return 1; }
    printf '%s' "$options" > "$stamp"
}

build_deps() {
    mkdir -p "$PREFIX"
    cmake_dep libjpeg-turbo "$(srcdir 'libjpeg-turbo-*/')" \
        -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF -DWITH_SIMD=ON -DREQUIRE_SIMD=ON \
        -DCMAKE_INSTALL_LIBDIR="$PREFIX/lib" -DCMAKE_INSTALL_BINDIR="$DEPS/unused/bin" \
        -DCMAKE_INSTALL_DOCDIR="$DEPS/unused/doc" -DCMAKE_INSTALL_MANDIR="$DEPS/unused/man"
    cmake_dep libpng "$(srcdir 'libpng-*/')" \
        -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
        -DPNG_TOOLS=OFF -DCMAKE_INSTALL_LIBDIR=lib
    cmake_dep tiff "$(srcdir '*tiff-v*/')" \
        -Dwebp=OFF -Dzstd=OFF -Dlzma=OFF -Djbig=OFF -Dlibdeflate=OFF -Dlerc=OFF \
        -Dcxx=OFF -Djpeg=OFF -Dold-jpeg=OFF -Dzlib=OFF -Dpixarlog=OFF \
        -Dccitt=ON -Dpackbits=ON -Dtiff-tools=OFF -Dtiff-tests=OFF \
        -Dtiff-contrib=OFF -Dtiff-docs=OFF -DCMAKE_INSTALL_LIBDIR=lib
    cmake_dep pugixml "$(srcdir 'pugixml-*/')" \
        -DPUGIXML_WCHAR_MODE=ON -DPUGIXML_BUILD_TESTS=OFF -DCMAKE_INSTALL_LIBDIR=lib
    cmake_dep googletest /usr/src/googletest \
        -DBUILD_GMOCK=OFF -DINSTALL_GTEST=ON -Dgtest_disable_pthreads=OFF \
        -DCMAKE_INSTALL_LIBDIR=lib
}

install_packages
fetch_sources
build_deps
log "dependencies ready in $PREFIX"
