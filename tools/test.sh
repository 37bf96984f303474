#!/usr/bin/env bash
# The whole test suite: host CPython 3.11 and the README's install command,
# then CPython 3.14 (release and debug interpreter, sanitizers) inside the
# cached Debian-unstable root, then every fuzz target for a bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/host-deps.sh
tools/suite.sh /usr/bin/python3.11 build/host-py311
if /usr/bin/python3.11 -c "import scikit_build_core" 2>/dev/null; then
  tools/install-check.sh /usr/bin/python3.11
else
  echo "== /usr/bin/python3.11: pip install skipped, scikit-build-core is not installed for it" >&2
fi
# The README's install command, as a newcomer runs it: then zorv-pp from the PATH, on a run outside the clone.
echo "== bash tools/install.sh, then zorv-pp analyze on a run folder outside the clone" >&2
bash tools/install.sh
outside=$(mktemp -d)
cp -r examples/campaign/m2.0_T298/rep1 "$outside/run"
(cd "$outside" && zorv-pp analyze run --out results >/dev/null)
test -s "$outside/results/results.csv" && rm -rf "$outside"
tools/sid-root.sh run tools/test-in-root.sh
tools/fuzz.sh
echo "== all suites passed" >&2
