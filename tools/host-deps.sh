#!/usr/bin/env bash
# Installs what the host build and tests need, from Debian's packages, when missing.
set -euo pipefail
needed=(g++ cmake ninja-build libgtest-dev python3-dev python3-pytest python3-hypothesis python3-numpy python3-matplotlib python3-tqdm debootstrap)
missing=()
for package in "${needed[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ "${#missing[@]}" -gt 0 ]; then
  echo "host-deps: installing ${missing[*]}" >&2
  apt-get update -qq >&2
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
fi
