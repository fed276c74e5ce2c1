#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build and test the project.
# Idempotent: packages already present are not fetched again.
set -euo pipefail
pkgs=(g++ cmake make libgtest-dev libgmock-dev libbenchmark-dev libglpk-dev mpich libmpich-dev)
missing=()
for p in "${pkgs[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
