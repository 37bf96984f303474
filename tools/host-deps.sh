#!/usr/bin/env bash
# Installs what the host build and tests need, from Debian's packages, when missing.
# apt's output goes to the setup log beside the cached root (ZORV_SETUP_LOG); its
# tail is shown only when the installation fails.
set -euo pipefail
needed=(g++ cmake ninja-build libgtest-dev python3-dev python3-pytest python3-pytest-xdist python3-hypothesis python3-numpy python3-matplotlib python3-tqdm debootstrap)
log=${ZORV_SETUP_LOG:-$(dirname "${ZORV_SID_ROOT:-/var/cache/zorv_pp/sid-root}")/setup.log}
missing=()
for package in "${needed[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ "${#missing[@]}" -gt 0 ]; then
  echo "host-deps: installing ${missing[*]} (log: $log)" >&2
  mkdir -p "$(dirname "$log")"
  printf '\n== %s host-deps: apt-get install %s\n' "$(date -u +%Y-%m-%dT%H:%M:%SZ)" "${missing[*]}" >>"$log"
  if ! { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"; } >>"$log" 2>&1; then
    echo "host-deps: the installation failed; the last lines of $log:" >&2
    tail -n 40 "$log" >&2
    exit 1
  fi
fi
