# Shared by scripts/run, scripts/test and scripts/bench: installs missing Debian packages
# and configures and builds a build directory.

CHAKUSHIN_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

# Packages the build and the tests need, on Debian 12.
# qt6-translations-l10n gives Qt's own texts (message-box buttons) in Japanese; xvfb and
# trayer are the X server and the notification area of the tray test and the screenshots;
# openbox is the window manager that frames the windows there; x11-utils and xdotool read
# and press what a real X server shows; procps (pgrep) finds the program the demo's smoke
# check started; dpkg-dev finds the Debian package's dependencies and desktop-file-utils
# checks its menu and autostart entries. libqt6sql6-psql is Qt's
# PostgreSQL driver for a shared history; postgresql gives the tests and benchmarks a
# throwaway server of their own.
CHAKUSHIN_PACKAGES=(g++ make cmake qt6-base-dev qt6-serialport-dev libqt6sql6-sqlite xvfb
    fonts-ipafont-gothic libgtest-dev qt6-translations-l10n trayer x11-utils xdotool procps
    dpkg-dev desktop-file-utils libqt6sql6-psql postgresql openbox)
# What the sanitizer and fuzzing runs of scripts/test need besides.
CHAKUSHIN_CHECK_PACKAGES=(clang libclang-rt-14-dev)

# ensure_packages PKG...: installs those that are not installed yet, and nothing else.
ensure_packages() {
    local missing=() pkg
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q '^install ok installed$'; then
            missing+=("$pkg")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing missing packages: ${missing[*]}"
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        command -v sudo >/dev/null || { echo "error: need root or sudo to install ${missing[*]}" >&2; return 1; }
        sudo=(sudo)
    fi
    export DEBIAN_FRONTEND=noninteractive
    "${sudo[@]}" apt-get update -qq
    "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# build_dir DIR [cmake options...]: configures DIR once, then builds it.
build_dir() {
    local dir=$1
    shift
    if [ ! -f "$dir/CMakeCache.txt" ] || [ $# -gt 0 ]; then
        cmake -S "$CHAKUSHIN_ROOT" -B "$dir" "$@" >/dev/null
    fi
    cmake --build "$dir" --parallel "$(nproc)"
}
