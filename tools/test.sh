#!/usr/bin/env bash
# The whole test suite: host CPython 3.11, then CPython 3.14 (release and
# debug interpreter) inside the cached Debian-unstable root.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/host-deps.sh
tools/suite.sh /usr/bin/python3.11 build/host-py311
tools/sid-root.sh run tools/test-in-root.sh
if [ -x tools/fuzz.sh ]; then
  tools/fuzz.sh
fi
echo "== all suites passed" >&2
