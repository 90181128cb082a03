# Shared by scripts/run and scripts/test: install what is missing, configure and build.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
JOBS="$(nproc 2>/dev/null || echo 2)"

PACKAGES=(build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
          qt6-base-dev qt6-translations-l10n libxkbcommon-dev libgl-dev libgtest-dev libgmock-dev libbenchmark-dev
          python3 python3-pyftpdlib xvfb x11-apps x11-utils imagemagick xauth
          fonts-dejavu-core fonts-liberation2 clang-format curl
          libcurl4-openssl-dev vsftpd tinyproxy openssl
          help2man lintian desktop-file-utils libsodium-dev libqt6sql6-sqlite)

install_packages() {
    local missing=()
    for package in "${PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$package")
    done
    if [ ${#missing[@]} -eq 0 ]; then
        return
    fi
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# The hardening a Debian package build gets (fortify, stack protector, relro, bindnow), as cmake
# options. build/ always carries them, whether it builds for the tests, the demo or the package:
# the three share that tree, and a change of flags between them would rebuild everything.
hardening_options() (
    command -v dpkg-buildflags >/dev/null || return 0
    # From the top folder: the flags map the current folder's path away (-ffile-prefix-map), and
    # flags that changed with the caller's folder would rebuild the tree.
    cd "$ROOT" || return 1
    local get="env DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get"
    local cppflags
    cppflags="$($get CPPFLAGS)"
    echo "-DCMAKE_CXX_FLAGS=$cppflags $($get CXXFLAGS)"
    echo "-DCMAKE_C_FLAGS=$cppflags $($get CFLAGS)"
    echo "-DCMAKE_EXE_LINKER_FLAGS=$($get LDFLAGS)"
)

# build_tree DIR [cmake options...]
build_tree() {
    local dir="$1"
    shift
    local hardening=()
    if [ "$dir" = build ]; then
        mapfile -t hardening < <(hardening_options)
    fi
    cmake -S "$ROOT" -B "$ROOT/$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${hardening[@]}" "$@" >/dev/null
    cmake --build "$ROOT/$dir" -j "$JOBS"
}

# build_package: builds the programs in build/ and the Debian package from them, copies the package
# into the top folder and leaves its path in PACKAGE_FILE. build/ keeps its other settings (tests
# on or off), so the test run and the package share one tree.
# Every step checks its own result: called as a condition, the function runs without set -e, and a
# failed build must not leave a package made of older programs.
build_package() {
    local hardening=()
    mapfile -t hardening < <(hardening_options)
    cmake -S "$ROOT" -B "$ROOT/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${hardening[@]}" \
        -DVERIMANT_SANITIZE=OFF -DVERIMANT_FUZZ=OFF -DVERIMANT_TEST_OVERRIDES=OFF >/dev/null || return 1
    cmake --build "$ROOT/build" -j "$JOBS" --target verimant-package-files || return 1
    rm -rf "$ROOT/build/package"
    local output
    if ! output="$(cd "$ROOT/build" && cpack -G DEB 2>&1)"; then
        echo "$output" >&2
        return 1
    fi
    local built=("$ROOT"/build/package/*.deb)
    cp "${built[0]}" "$ROOT/" || return 1
    PACKAGE_FILE="$ROOT/$(basename "${built[0]}")"
}
