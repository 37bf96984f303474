#!/usr/bin/env bash
# Installs the zorv-pp command and the zorv_pp package for the system Python,
# without pip or PyPI: builds _zorv_pp with CMake for /usr/bin/python3, copies it
# and the zorv_pp package into a prefix of their own, puts a zorv-pp launcher on
# the PATH and a zorv_pp.pth file naming the prefix into the interpreter's site
# folder, so that `import zorv_pp` works in it. (PEP 668 keeps pip out of
# Debian's Python, and Debian 12 packages no scikit-build-core, so
# `pip install .` cannot build here.) Run it again to update.
#   bash tools/install.sh
# Environment: PYTHON (default /usr/bin/python3), ZORV_PREFIX (default
# /usr/local/lib/zorv_pp), ZORV_BINDIR (default /usr/local/bin), ZORV_SITE_DIR
# (default the interpreter's first site folder, /usr/local/lib/python3.X/dist-packages
# on Debian), ZORV_MODULE (a _zorv_pp module already built for PYTHON: skips the build).
set -euo pipefail
cd "$(dirname "$0")/.."
# The interpreter itself, so that the launcher keeps it whatever python3 comes first on the PATH later
# (a pyenv shim, say).
python=$("${PYTHON:-/usr/bin/python3}" -c 'import sys; print(sys.executable)')
prefix=${ZORV_PREFIX:-/usr/local/lib/zorv_pp}
bindir=${ZORV_BINDIR:-/usr/local/bin}
site=${ZORV_SITE_DIR:-$("$python" -c 'import site; print(site.getsitepackages()[0])')}
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
exec "$python" -P -c 'import sys; sys.path.insert(0, "$prefix"); from zorv_pp.cli import main; sys.exit(main())' "\$@"
LAUNCHER
chmod 755 "$bindir/zorv-pp.new.$$"
mv "$bindir/zorv-pp.new.$$" "$bindir/zorv-pp"

# A .pth file in the interpreter's site folder puts the prefix on its path: `import zorv_pp` works there.
mkdir -p "$site"
printf '%s\n' "$prefix" >"$site/zorv_pp.pth.new.$$"
mv "$site/zorv_pp.pth.new.$$" "$site/zorv_pp.pth"
check='import sys, zorv_pp, _zorv_pp; assert zorv_pp.__file__.startswith(sys.argv[1]), zorv_pp.__file__'
if (cd / && env -i "$python" -c 'import sys; sys.exit(sys.argv[1] not in sys.path)' "$site"); then
  (cd / && env -i "$python" -c "$check" "$prefix") \
    || { echo "install: import zorv_pp fails in $python after the install" >&2; exit 1; }
else  # a site folder of one's own (ZORV_SITE_DIR): the interpreter reads it when told to
  (cd / && env -i "$python" -c "import site, sys; site.addsitedir(sys.argv[2]); $check" "$prefix" "$site") \
    || { echo "install: import zorv_pp fails through $site/zorv_pp.pth" >&2; exit 1; }
  echo "install: $site is no site folder of $python: add it with site.addsitedir to import zorv_pp" >&2
fi
echo "installed: $bindir/zorv-pp ($("$bindir/zorv-pp" --version)) for $python, package and module in $prefix," \
     "import zorv_pp through $site/zorv_pp.pth" >&2
echo "uninstall: rm -r $prefix $bindir/zorv-pp $site/zorv_pp.pth" >&2
