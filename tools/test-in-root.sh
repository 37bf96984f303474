#!/usr/bin/env bash
# The part of the suite that runs inside the Debian-unstable root: CPython 3.14
# release and debug builds, and the pip installation.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/suite.sh python3.14 build/sid-py314
ZORV_PYTEST_MARK="not slow" tools/suite.sh python3.14d build/sid-py314d -DCMAKE_BUILD_TYPE=Debug

# AddressSanitizer and UndefinedBehaviorSanitizer over the whole suite.
ZORV_PRELOAD="$(g++ -print-file-name=libasan.so)" ZORV_PYTEST_MARK="not slow" \
  tools/suite.sh python3.14 build/sid-asan -DZORV_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo

echo "== pip install . into a fresh venv" >&2
venv=$(mktemp -d)/venv
python3.14 -m venv --system-site-packages "$venv"
"$venv/bin/pip" install -q --no-build-isolation --no-deps --no-index . >/dev/null
(cd / && "$venv/bin/python" -c "import _zorv_pp, sys; assert _zorv_pp.__file__.startswith(sys.prefix), _zorv_pp.__file__; print('installed:', _zorv_pp.__file__)")

echo "== type stubs: stubtest and mypy against the installed package" >&2
"$venv/bin/python" tools/check_stubs.py
