#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, if missing.
# Extra package names may be given as arguments.
set -euo pipefail
want=(cmake g++ make libgtest-dev libc-bin python3 "$@")
missing=()
for p in "${want[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}" >&2
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi
