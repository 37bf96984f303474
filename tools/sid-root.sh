#!/usr/bin/env bash
# Provision (or reuse) a Debian-unstable root that carries CPython 3.14 and the
# build and test tools, then run a command inside it with the project mounted.
#
#   tools/sid-root.sh ensure          create or update the root
#   tools/sid-root.sh run CMD...      run CMD in the root, cwd = /project
#
# The root is cached outside the clone (ZORV_SID_ROOT) and reused when present.
set -euo pipefail

ROOT=${ZORV_SID_ROOT:-/var/cache/zorv_pp/sid-root}
MIRROR=${ZORV_SID_MIRROR:-http://deb.debian.org/debian}
PROJECT=$(cd "$(dirname "$0")/.." && pwd)

PACKAGES=(
  python3.14-dev python3.14-dbg python3.14-venv python3.14-doc
  g++ cmake ninja-build make
  python3-pytest python3-hypothesis python3-numpy python3-scipy python3-pandas python3-matplotlib python3-tqdm
  python3-scikit-build-core python3-pip python3-mypy
  clang libclang-rt-dev libgtest-dev
  chromium fonts-dejavu-core
)
STAMP_TEXT="${PACKAGES[*]}"

log() { printf 'sid-root: %s\n' "$*" >&2; }

in_root() {
  # Private mount namespace: the binds vanish with the command.
  unshare --mount --propagation private -- bash -c '
    set -e
    root=$1; project=$2; shift 2
    mount --bind /proc "$root/proc"
    mount --rbind /dev "$root/dev"
    mkdir -p "$root/project" "$root/shared"
    mount --bind "$project" "$root/project"
    if [ -d "$project/../shared" ]; then mount --bind "$project/../shared" "$root/shared"; fi
    mount -t tmpfs tmpfs "$root/tmp"
    exec chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
      LANG=C.UTF-8 CI="${CI:-}" ZORV_IN_ROOT=1 ${ZORV_ENV:-} bash -c "cd /project && exec \"\$@\"" bash "$@"
  ' bash "$ROOT" "$PROJECT" "$@"
}

apt_in_root() {
  in_root apt-get -o Acquire::Check-Valid-Until=false -o APT::Get::Assume-Yes=true -qq "$@"
}

# True when the stamp lists every package of PACKAGES: a root provisioned for a
# longer list (another branch's) serves this one without reinstalling.
stamp_covers_packages() {
  [ -f "$ROOT/.zorv-stamp" ] || return 1
  local stamped=" $(cat "$ROOT/.zorv-stamp") " package
  for package in "${PACKAGES[@]}"; do
    [[ "$stamped" == *" $package "* ]] || return 1
  done
}

ensure() {
  if stamp_covers_packages; then
    return 0
  fi
  if ! [ -x "$ROOT/usr/bin/apt-get" ]; then
    command -v debootstrap >/dev/null || { apt-get update -qq && apt-get install -y -qq debootstrap; }
    log "debootstrap sid into $ROOT"
    rm -rf "$ROOT"; mkdir -p "$(dirname "$ROOT")"
    local inc; inc=$(IFS=,; echo "${PACKAGES[*]}")
    debootstrap --variant=minbase --include="$inc" sid "$ROOT.tmp" "$MIRROR" >&2 \
      || { log "debootstrap with all packages failed; retrying with the base and apt"; rm -rf "$ROOT.tmp";
           debootstrap --variant=minbase sid "$ROOT.tmp" "$MIRROR" >&2; }
    mv "$ROOT.tmp" "$ROOT"
  fi
  log "installing packages in the root"
  echo "deb $MIRROR sid main" > "$ROOT/etc/apt/sources.list"
  cp /etc/resolv.conf "$ROOT/etc/resolv.conf" 2>/dev/null || true
  apt_in_root update >&2
  DEBIAN_FRONTEND=noninteractive apt_in_root install --no-install-recommends "${PACKAGES[@]}" >&2
  echo "$STAMP_TEXT" > "$ROOT/.zorv-stamp"
}

case "${1:-}" in
  ensure) ensure ;;
  run) shift; ensure; in_root "$@" ;;
  *) echo "usage: $0 ensure | run CMD..." >&2; exit 2 ;;
esac
