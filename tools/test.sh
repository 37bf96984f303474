#!/usr/bin/env bash
# The whole test suite: host CPython 3.11, then CPython 3.14 (release and
# debug interpreter, sanitizers) inside the cached Debian-unstable root, then
# every fuzz target for a bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/host-deps.sh
tools/suite.sh /usr/bin/python3.11 build/host-py311
if /usr/bin/python3.11 -c "import scikit_build_core" 2>/dev/null; then
  tools/install-check.sh /usr/bin/python3.11
else
  echo "== /usr/bin/python3.11: pip install skipped, scikit-build-core is not installed for it" >&2
fi
tools/sid-root.sh run tools/test-in-root.sh
tools/fuzz.sh
echo "== all suites passed" >&2
