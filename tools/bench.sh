#!/usr/bin/env bash
# Every benchmark of bench/ in one table, run against a release build of the
# module for CPython 3.14 inside the Debian-unstable root.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/sid-root.sh run bash -c '
  set -e
  cmake -S . -B build/bench -G Ninja -DPython_EXECUTABLE=/usr/bin/python3.14 -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build build/bench -j 2 >/dev/null
  ZORV_MODULE_DIR=$PWD/build/bench/python python3.14 bench/run_all.py
'
