#!/usr/bin/env bash
# Installs what slash needs on Debian 12: the build tools and the xcb and
# Wayland client libraries, and with --test also GoogleTest, Xvfb, the X
# tools the window tests use, window managers with panels, and the Wayland
# compositors (sway, weston) to test under, and the mingw-w64 compilers and
# Wine for the Windows build.
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config libxcb1-dev libxcb-randr0-dev libxcb-ewmh-dev libxcb-icccm4-dev libwayland-dev libwayland-bin wayland-protocols zlib1g-dev libncurses-dev)
if [[ "${1:-}" == "--test" ]]; then
  packages+=(python3 clang clang-format libclang-rt-14-dev valgrind libgtest-dev libbenchmark-dev xvfb x11-apps x11-utils xdotool wmctrl x11-xserver-utils imagemagick openbox tint2 procps man-db dpkg-dev lintian libxcb-damage0-dev xserver-xorg-core xserver-xorg-video-dummy sway xwayland weston cage picom icewm xterm marco mate-panel kwin-x11 mutter mate-settings-daemon-common dbus-daemon python3-matplotlib g++-mingw-w64-x86-64-posix libz-mingw-w64-dev googletest wine wine64 python3-pefile bc devscripts tmux python3-pyte git)
fi

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
if ((${#missing[@]} == 0)); then
  echo "setup: all ${#packages[@]} Debian packages are installed"
  exit 0
fi

# Not root: sudo, when it is there and lets this user in. Otherwise one line
# that says what to run as root instead.
sudo=()
if [[ $(id -u) -ne 0 ]]; then
  command="apt-get update && apt-get install -y --no-install-recommends ${missing[*]}"
  if ! command -v sudo >/dev/null; then
    echo "setup: sudo is not installed; as root, run: su -c '$command' (or install sudo)" >&2
    exit 1
  fi
  if ! sudo -v; then
    echo "setup: sudo refused; as root, run: su -c '$command'" >&2
    exit 1
  fi
  sudo=(sudo)
fi
echo "setup: installing ${#missing[@]} Debian packages: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update
"${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
