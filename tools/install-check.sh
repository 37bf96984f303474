#!/usr/bin/env bash
# `pip install .` into a fresh venv of PYTHON with the build tools the system
# provides (no build isolation, no index), then import the installed module from
# outside the clone, and build a wheel. With --stubs, also check the installed type stubs against it.
#   tools/install-check.sh PYTHON [--stubs]
set -euo pipefail
python=$1; stubs=${2:-}
cd "$(dirname "$0")/.."

echo "== $python: pip install . into a fresh venv" >&2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
"$python" -m venv --system-site-packages "$scratch/venv"
"$scratch/venv/bin/pip" install -q --no-build-isolation --no-deps --no-index . >/dev/null
(cd / && "$scratch/venv/bin/python" -c "import _zorv_pp, zorv_pp, sys; assert _zorv_pp.__file__.startswith(sys.prefix), _zorv_pp.__file__; assert zorv_pp.__file__.startswith(sys.prefix), zorv_pp.__file__; print('installed:', _zorv_pp.__file__, zorv_pp.__file__)")
(cd / && "$scratch/venv/bin/zorv-pp" --help >/dev/null && echo "installed: the zorv-pp command")

echo "== $python: a wheel builds, holding the module and the stubs" >&2
"$scratch/venv/bin/pip" wheel -q --no-build-isolation --no-deps --no-index -w "$scratch/wheels" . >/dev/null
"$scratch/venv/bin/python" - "$scratch"/wheels/*.whl <<'CHECK'
import sys, zipfile
names = zipfile.ZipFile(sys.argv[1]).namelist()
assert any(n.startswith("_zorv_pp.") and n.endswith(".so") for n in names), names
assert "_zorv_pp-stubs/__init__.pyi" in names, names
assert "zorv_pp/py.typed" in names and "zorv_pp/cli.py" in names, names
print("wheel:", sys.argv[1].rsplit("/", 1)[-1])
CHECK

if [ "$stubs" = --stubs ]; then
  echo "== $python: type stubs, stubtest and mypy against the installed package" >&2
  "$scratch/venv/bin/python" tools/check_stubs.py
fi
