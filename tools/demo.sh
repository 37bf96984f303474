#!/usr/bin/env bash
# Builds the module for CPython 3.14 inside the Debian-unstable root and runs the demo.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v debootstrap >/dev/null || tools/host-deps.sh
tools/sid-root.sh run bash -c '
  set -e
  cmake -S . -B build/demo -G Ninja -DPython_EXECUTABLE=/usr/bin/python3.14 >/dev/null
  cmake --build build/demo -j 2 >/dev/null
  mkdir -p build/demo/output
  PYTHONPATH=build/demo/python python3.14 examples/demo.py build/demo/output
'
