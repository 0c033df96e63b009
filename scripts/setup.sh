#!/usr/bin/env bash
# Installs the Debian packages the project builds with, when they are missing.
set -euo pipefail
packages=(g++ cmake make pkg-config libgtest-dev libgmock-dev libbenchmark-dev
          libcli11-dev nlohmann-json3-dev libreadline-dev tmux
          python3-dev pybind11-dev python3-pytest)
# The plotting example needs matplotlib: MORVAND_SETUP_EXAMPLES=1 installs it too.
if [ "${MORVAND_SETUP_EXAMPLES:-0}" = "1" ]; then packages+=(python3-matplotlib); fi
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
