#!/usr/bin/env bash
# Installs the Debian packages the project builds with, when they are missing.
# MORVAND_SETUP_WINDOWS=1 adds the Windows cross compilers (64 and 32 bits) and Wine, which
# the Windows build and its tests need (scripts/windows-ci.sh); MORVAND_SETUP_TANGO=1 the
# Tango packages of the device server (servers/tango).
set -euo pipefail
packages=(g++ cmake make pkg-config libgtest-dev libgmock-dev libbenchmark-dev
          libcli11-dev nlohmann-json3-dev libreadline-dev libcomedi-dev tmux dpkg-dev file
          python3-dev pybind11-dev python3-pytest)
# The plotting example needs matplotlib: MORVAND_SETUP_EXAMPLES=1 installs it too.
if [ "${MORVAND_SETUP_EXAMPLES:-0}" = "1" ]; then packages+=(python3-matplotlib); fi
windows_packages=(g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine64)
sudo_cmd=""
[ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
updated=0

install_missing() {  # [apt-get options --] package...
  local options=()
  if [ "${2:-}" = "--" ]; then
    options=("$1")
    shift 2
  fi
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    if [ "$updated" -eq 0 ]; then
      $sudo_cmd apt-get update -qq
      updated=1
    fi
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${options[@]}" "${missing[@]}"
  fi
}

install_missing "${packages[@]}"
if [ "${MORVAND_SETUP_WINDOWS:-0}" = 1 ]; then
  install_missing --no-install-recommends -- "${windows_packages[@]}"
fi
# MORVAND_SETUP_TANGO=1 adds the Tango C++ library the device server morvand-tango builds
# with, and PyTango, which its tests and benchmark use.
if [ "${MORVAND_SETUP_TANGO:-0}" = 1 ]; then
  install_missing libtango-dev python3-tango
fi
# MORVAND_SETUP_FUZZ=1 adds clang and its libFuzzer runtime (scripts/fuzz.sh); Debian ships
# libFuzzer in the versioned compiler runtime package.
if [ "${MORVAND_SETUP_FUZZ:-0}" = 1 ]; then
  install_missing clang
  install_missing "libclang-rt-$(clang++ -dumpversion | cut -d. -f1)-dev"
fi
