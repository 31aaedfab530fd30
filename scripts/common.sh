# Shared by the scripts: installs what the project needs and is missing (apt, with sudo when
# not root), and configures and builds a build directory.

TALLYVANE_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
TALLYVANE_PACKAGES=(
    cmake g++ qt6-base-dev libsqlite3-dev sqlite3 libcurl4-openssl-dev libssl-dev python3-pyftpdlib python3-cryptography
    proftpd-core proftpd-mod-crypto openssl openssh-client ca-certificates
    fonts-liberation xvfb xdotool x11-apps imagemagick clang libclang-rt-14-dev time
)

install_missing_packages() {
    local missing=()
    local pkg
    for pkg in "${TALLYVANE_PACKAGES[@]}" "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# build_tree DIR [cmake options...]
build_tree() {
    local dir=$1
    shift
    cmake -S "$TALLYVANE_ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$dir" --parallel "$(nproc)"
}
export PYTHONDONTWRITEBYTECODE=1
