#!/usr/bin/env bash
# Installs the Debian packages the project builds with, when they are missing.
set -euo pipefail
packages=(g++ cmake make pkg-config libgtest-dev libgmock-dev libbenchmark-dev
          libcli11-dev nlohmann-json3-dev libreadline-dev libcomedi-dev tmux)
# The fuzzers (scripts/fuzz.sh) need clang and its libFuzzer runtime.
if [ "${MORVAND_SETUP_FUZZ:-0}" = 1 ]; then
  packages+=(clang)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}"
fi
if [ "${MORVAND_SETUP_FUZZ:-0}" = 1 ]; then
  # Debian ships libFuzzer in the versioned compiler runtime package.
  major=$(clang++ -dumpversion | cut -d. -f1)
  runtime="libclang-rt-${major}-dev"
  if ! dpkg-query -W -f='${Status}' "$runtime" 2>/dev/null | grep -q 'install ok installed'; then
    sudo_cmd=""
    [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
    echo "setup: installing $runtime"
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "$runtime"
  fi
fi
