# Shared by scripts/run, scripts/test and scripts/bench: installs missing Debian packages
# and configures and builds a build directory.

CHAKUSHIN_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

# What building and running the program needs, on Debian 12: the compiler, Qt with its
# serial port and its SQL drivers (SQLite for a history file, PostgreSQL for an office's
# shared one), qt6-translations-l10n for Qt's own texts (message-box buttons) in Japanese,
# libpq itself for the listening of a following desk, libphonenumber for Japan's numbering plan
# (how a caller's number is written), and a Japanese font.
CHAKUSHIN_PACKAGES=(g++ make cmake qt6-base-dev qt6-serialport-dev libqt6sql6-sqlite libqt6sql6-psql
    libpq-dev libphonenumber-dev qt6-translations-l10n fonts-ipafont-gothic)
# What the tests, the benchmarks and the package need besides. xvfb and trayer are the X
# server and the notification area of the tray test and the screenshots; openbox is the
# window manager that frames the windows there; x11-utils and xdotool read and press what a
# real X server shows; procps (pgrep) finds the program the demo's smoke check started;
# dpkg-dev finds the Debian package's dependencies and desktop-file-utils checks its menu and
# autostart entries; postgresql gives the tests and benchmarks a throwaway server of their own;
# dbus-daemon and dunst are the session bus and the desktop notification service that the
# notification test and the call benchmark start for themselves.
CHAKUSHIN_TEST_PACKAGES=(libgtest-dev xvfb trayer x11-utils xdotool procps dpkg-dev desktop-file-utils
    postgresql openbox dbus-daemon dunst)
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

# configure_dir DIR [cmake options...]: configures DIR when it is new or when one of the
# -DNAME=VALUE options differs from its cache; a configured directory is left alone
# otherwise, so that nothing is rebuilt without need.
configure_dir() {
    local dir=$1 option needed=false
    shift
    [ -f "$dir/CMakeCache.txt" ] || needed=true
    for option in "$@"; do
        case "$option" in
            -D*=*)
                option=${option#-D}
                [ "$(sed -n "s/^${option%%=*}:[A-Z]*=//p" "$dir/CMakeCache.txt" 2>/dev/null)" = "${option#*=}" ] ||
                    needed=true
                ;;
        esac
    done
    if $needed; then
        cmake -S "$CHAKUSHIN_ROOT" -B "$dir" "$@" >/dev/null
    fi
}

# build_dir DIR [cmake options...]: configures DIR as configure_dir does, then builds all of it.
build_dir() {
    configure_dir "$@"
    cmake --build "$1" --parallel "$(nproc)"
}

# quiet_build DIR TEXT TARGET...: builds the targets, showing TEXT and a count of the files
# compiled instead of the compiler's lines; those are shown only when the build fails (the
# whole output stays in DIR/build.log).
quiet_build() {
    local - dir=$1 text=$2 log=$1/build.log started=$SECONDS status=0 target
    set -o pipefail
    shift 2
    local targets=()
    for target in "$@"; do targets+=(--target "$target"); done
    if [ -t 1 ]; then printf '%s ...' "$text"; else echo "$text ..."; fi
    cmake --build "$dir" --parallel "$(nproc)" "${targets[@]}" 2>&1 | tee "$log" | count_compiled "$text" ||
        status=$?
    local compiled
    compiled=$(grep -c 'Building CXX object' "$log" || true)
    if [ "$status" -ne 0 ]; then
        echo "$text: failed. The compiler said:" >&2
        grep -vE '^\[ *[0-9]+%\]|^(Consolidate|Scanning) ' "$log" >&2
        echo "(the whole output is in $log)" >&2
        return "$status"
    fi
    echo "$text: done in $((SECONDS - started)) s, files compiled: $compiled"
}

# count_compiled TEXT: on a terminal, one line that counts the compiler's files as they come.
count_compiled() {
    local line compiled=0
    while IFS= read -r line; do
        case "$line" in
            *"Building CXX object"*)
                compiled=$((compiled + 1))
                [ -t 1 ] && printf '\r\033[K%s ... files compiled: %d' "$1" "$compiled"
                ;;
        esac
    done
    [ -t 1 ] && printf '\r\033[K'
    return 0
}

# needs_desktop: fails with the program's own words when there is no desktop session to show
# a window on.
needs_desktop() {
    case "${QT_QPA_PLATFORM:-xcb}" in
        xcb* | wayland*) ;;
        *) return 0 ;;
    esac
    if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
        echo "chakushin: needs a desktop session, and neither DISPLAY nor WAYLAND_DISPLAY is set" >&2
        return 1
    fi
}
