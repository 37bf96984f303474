#!/usr/bin/env bash
# Provision (or reuse) a Debian-unstable root that carries CPython 3.14 and the
# build and test tools, then run a command inside it with the project mounted.
#
#   tools/sid-root.sh ensure          create or update the root
#   tools/sid-root.sh run CMD...      run CMD in the root, cwd = /project
#
# The root is cached outside the clone (ZORV_SID_ROOT) and reused when present.
# Provisioning prints one line per stage; the output of debootstrap and apt goes
# to a log beside the root (ZORV_SETUP_LOG), whose tail is shown only on failure.
set -euo pipefail

ROOT=${ZORV_SID_ROOT:-/var/cache/zorv_pp/sid-root}
MIRROR=${ZORV_SID_MIRROR:-http://deb.debian.org/debian}
PROJECT=$(cd "$(dirname "$0")/.." && pwd)
SETUP_LOG=${ZORV_SETUP_LOG:-$(dirname "$ROOT")/setup.log}

PACKAGES=(
  python3.14-dev python3.14-dbg python3.14-venv python3.14-doc
  g++ cmake ninja-build make
  python3-pytest python3-pytest-xdist python3-hypothesis python3-numpy python3-scipy python3-pandas python3-matplotlib python3-tqdm
  python3-scikit-build-core python3-pip python3-mypy ruff
  clang libclang-rt-dev libgtest-dev
  chromium fonts-dejavu-core
  lammps gromacs python3-mdanalysis
)
STAMP_TEXT="${PACKAGES[*]}"

log() { printf 'sid-root: %s\n' "$*" >&2; }

# quietly WHAT CMD...: runs CMD with its output appended to the setup log; its status is CMD's.
quietly() {
  local what=$1; shift
  mkdir -p "$(dirname "$SETUP_LOG")"
  printf '\n== %s %s: %s\n' "$(date -u +%Y-%m-%dT%H:%M:%SZ)" "$what" "$*" >>"$SETUP_LOG"
  "$@" >>"$SETUP_LOG" 2>&1
}

# stage WHAT CMD...: one line saying what runs, CMD quietly, and on failure the log's tail.
stage() {
  local what=$1
  log "$what (log: $SETUP_LOG)"
  if ! quietly "$@"; then
    log "$what failed; the last lines of $SETUP_LOG:"
    tail -n 40 "$SETUP_LOG" >&2
    return 1
  fi
}

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
  ZORV_ENV="DEBIAN_FRONTEND=noninteractive ${ZORV_ENV:-}" \
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
    if ! command -v debootstrap >/dev/null; then
      stage "apt-get update on the host" apt-get update -qq
      stage "installing debootstrap on the host" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq debootstrap
    fi
    rm -rf "$ROOT" "$ROOT.tmp"; mkdir -p "$(dirname "$ROOT")"
    local inc; inc=$(IFS=,; echo "${PACKAGES[*]}")
    # With every package at once debootstrap often fails to configure them ("W: Failure while
    # configuring base packages"); the base alone and apt afterwards then does it.
    log "debootstrap sid with every package into $ROOT.tmp (log: $SETUP_LOG)"
    if ! quietly "debootstrap sid with every package" \
        debootstrap --variant=minbase --include="$inc" sid "$ROOT.tmp" "$MIRROR"; then
      rm -rf "$ROOT.tmp"
      stage "debootstrap failed with every package (as it often does); debootstrap of the base alone" \
        debootstrap --variant=minbase sid "$ROOT.tmp" "$MIRROR"
    fi
    mv "$ROOT.tmp" "$ROOT"
  fi
  echo "deb $MIRROR sid main" > "$ROOT/etc/apt/sources.list"
  cp /etc/resolv.conf "$ROOT/etc/resolv.conf" 2>/dev/null || true
  stage "apt-get update in the root" apt_in_root update
  stage "installing ${#PACKAGES[@]} packages in the root" apt_in_root install --no-install-recommends "${PACKAGES[@]}"
  echo "$STAMP_TEXT" > "$ROOT/.zorv-stamp"
  log "the root is ready: $ROOT"
}

case "${1:-}" in
  ensure) ensure ;;
  run) shift; ensure; in_root "$@" ;;
  *) echo "usage: $0 ensure | run CMD..." >&2; exit 2 ;;
esac
