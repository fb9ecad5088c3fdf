# Sourced by run.sh and test.sh: installs the Debian packages that are missing.
# Usage: ensure_packages pkg...
ensure_packages() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        if ! command -v sudo >/dev/null; then
            echo "These packages are missing and sudo is not available: ${missing[*]}" >&2
            return 1
        fi
        sudo=(sudo)
    fi
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# What building the program needs.
# qtkeychain-qt6-dev brings libqt6keychain1, which reaches the Secret Service through
# libsecret, loaded at run time. --no-install-recommends keeps out the desktop keyrings it
# recommends. qt6-translations-l10n carries Qt's own Italian texts (Sì/No, the text fields'
# context menus), which the program loads at start.
BUILD_PACKAGES=(g++ cmake ninja-build pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev
                qt6-qpa-plugins fonts-dejavu-core qtkeychain-qt6-dev libsecret-1-0 qt6-translations-l10n
                qt6-networkauth-dev)
# What the tests need besides: real SMTP and HTTP servers on loopback, the time zones the Date
# header is read back in, a certificate made by openssl, a real secret store (gnome-keyring on a
# private D-Bus session), and Debian's tools that check the package (dpkg-deb, dpkg-shlibdeps,
# the desktop entry and AppStream validators, lintian).
TEST_PACKAGES=(python3 python3-aiosmtpd tzdata openssl gnome-keyring dbus-daemon libsecret-tools
               dpkg-dev desktop-file-utils appstream lintian)
# What ./package.sh needs besides the build: dpkg-shlibdeps finds the package's dependencies.
PACKAGE_PACKAGES=(dpkg-dev)

# Usage: configure_and_build preset [target...]; no target builds everything.
configure_and_build() {
    local preset="$1"
    shift
    cmake --preset "$preset" >/dev/null
    if [ $# -gt 0 ]; then
        cmake --build --preset "$preset" --target "$@"
    else
        cmake --build --preset "$preset"
    fi
}
# Fuzzing uses clang's libFuzzer.
FUZZ_PACKAGES=(clang libclang-rt-14-dev)
