#!/usr/bin/env bash
# Builds the module and the core's unit tests for one interpreter and runs both.
#   tools/suite.sh PYTHON BUILD_DIR [extra CMake arguments...]
set -euo pipefail
python=$1; build=$2; shift 2
cd "$(dirname "$0")/.."
jobs=${ZORV_JOBS:-2}

echo "== $python: build in $build" >&2
cmake -S . -B "$build" -G Ninja -DPython_EXECUTABLE="$(command -v "$python")" \
  -DZORV_BUILD_TESTS=ON -DZORV_WERROR=ON "$@" >/dev/null
cmake --build "$build" -j "$jobs"

echo "== $python: core unit tests" >&2
ctest --test-dir "$build" --output-on-failure -j "$jobs" | tail -n 3

echo "== $python: Python tests" >&2
ZORV_MODULE_DIR="$PWD/$build/python" "$python" -m pytest -q -p no:cacheprovider tests ${ZORV_PYTEST_ARGS:-}
