#!/usr/bin/env bash
# Installs the zorv-pp command for the system Python, without pip or PyPI:
# builds _zorv_pp with CMake for /usr/bin/python3, copies it and the zorv_pp
# package into a prefix of their own, and puts a zorv-pp launcher on the PATH.
# (PEP 668 keeps pip out of Debian's Python, and Debian 12 packages no
# scikit-build-core, so `pip install .` cannot build here.) Run it again to update.
#   bash tools/install.sh
# Environment: PYTHON (default /usr/bin/python3), ZORV_PREFIX (default
# /usr/local/lib/zorv_pp), ZORV_BINDIR (default /usr/local/bin), ZORV_MODULE
# (a _zorv_pp module already built for PYTHON: skips the build).
set -euo pipefail
cd "$(dirname "$0")/.."
python=${PYTHON:-/usr/bin/python3}
prefix=${ZORV_PREFIX:-/usr/local/lib/zorv_pp}
bindir=${ZORV_BINDIR:-/usr/local/bin}
module=${ZORV_MODULE:-}

if [ -z "$module" ]; then
  tools/host-deps.sh
  build=build/install-$("$python" -c 'import sys; print(f"py{sys.version_info[0]}{sys.version_info[1]}")')
  echo "== install: building _zorv_pp for $python in $build" >&2
  cmake -S . -B "$build" -G Ninja -DPython_EXECUTABLE="$python" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$build" -j "${ZORV_JOBS:-2}" --target _zorv_pp _zorv_analysis >/dev/null
  module=$(ls "$build"/python/_zorv_pp.*.so)
fi

# A fresh copy beside the old one, swapped in at the end: a failed install leaves the old one working.
staging="$prefix.new.$$"
trap 'rm -rf "$staging"' EXIT
mkdir -p "$staging" "$bindir"
cp "$module" "$staging/"
# The analysis layer's native module is built beside _zorv_pp.
cp "$(dirname "$module")"/_zorv_analysis.*.so "$staging/"
cp -r python/zorv_pp "$staging/zorv_pp"
find "$staging" -name __pycache__ -prune -exec rm -rf {} +
(cd / && PYTHONPATH="$staging" "$python" -c 'import zorv_pp.cli, _zorv_pp, _zorv_analysis') \
  || { echo "install: the copied package does not import under $python" >&2; exit 1; }
rm -rf "$prefix.old"
if [ -e "$prefix" ]; then mv "$prefix" "$prefix.old"; fi
mv "$staging" "$prefix"
rm -rf "$prefix.old"

# The launcher puts the prefix first on the path, so no other zorv_pp can shadow it.
cat >"$bindir/zorv-pp.new.$$" <<LAUNCHER
#!/bin/sh
exec $python -P -c 'import sys; sys.path.insert(0, "$prefix"); from zorv_pp.cli import main; sys.exit(main())' "\$@"
LAUNCHER
chmod 755 "$bindir/zorv-pp.new.$$"
mv "$bindir/zorv-pp.new.$$" "$bindir/zorv-pp"
echo "installed: $bindir/zorv-pp ($("$bindir/zorv-pp" --version)), package and module in $prefix" >&2
