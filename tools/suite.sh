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
marks=()
if [ -n "${ZORV_PYTEST_MARK:-}" ]; then marks=(-m "$ZORV_PYTEST_MARK"); fi
# ZORV_TESTS chooses the test folders (default: all); ZORV_WORKERS runs them in that many processes.
read -r -a folders <<<"${ZORV_TESTS:-tests}"
workers=()
if [ "${ZORV_WORKERS:-1}" -gt 1 ]; then workers=(-n "$ZORV_WORKERS"); fi
# A sanitized module needs its runtime loaded first into the interpreter.
preload=()
if [ -n "${ZORV_PRELOAD:-}" ]; then preload=(env LD_PRELOAD="$ZORV_PRELOAD" ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1); fi
ZORV_MODULE_DIR="$PWD/$build/python" "${preload[@]}" "$python" -m pytest -q -p no:cacheprovider "${workers[@]}" "${marks[@]}" "${folders[@]}"
