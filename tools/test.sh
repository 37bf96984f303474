#!/usr/bin/env bash
# The whole test suite: host CPython 3.11 (the core's tests and the tests of the compiled modules) and
# the README's install command, then inside the cached Debian-unstable root the whole Python suite under
# CPython 3.14 on both cores, the native tests under its debug interpreter and sanitizers, then every fuzz
# target for a bounded time. Each stage prints its time.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/native_tests.sh
begin=$SECONDS

timed "host packages" tools/host-deps.sh
timed "host CPython 3.11" env ZORV_TESTS="$NATIVE_TESTS" ZORV_PYTEST_MARK="not slow" tools/suite.sh /usr/bin/python3.11 build/host-py311
if /usr/bin/python3.11 -c "import scikit_build_core" 2>/dev/null; then
  tools/install-check.sh /usr/bin/python3.11
else
  echo "== /usr/bin/python3.11: pip install skipped, scikit-build-core is not installed for it" >&2
fi
# The README's install command, as a newcomer runs it, but into a temporary prefix, so that the
# system is left as it was: then `import zorv_pp` in a clean environment through the installed .pth
# file, and zorv-pp from the PATH on the bundled and the real runs, and damaged copies of them,
# outside the clone.
echo "== bash tools/install.sh into a temporary prefix, then import zorv_pp and zorv-pp analyze outside the clone" >&2
repo=$PWD scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
ZORV_PREFIX="$scratch/lib/zorv_pp" ZORV_BINDIR="$scratch/bin" ZORV_SITE_DIR="$scratch/site" bash tools/install.sh
(cd / && env -i /usr/bin/python3 -c 'import site, sys; site.addsitedir(sys.argv[1]); import zorv_pp, _zorv_pp
assert zorv_pp.__file__.startswith(sys.argv[2]) and _zorv_pp.__file__.startswith(sys.argv[2])' \
  "$scratch/site" "$scratch/lib/zorv_pp")
(cd "$scratch" && PATH="$scratch/bin:$PATH" /usr/bin/python3 "$repo/tools/check_installed.py" zorv-pp)
rm -rf "$scratch"; trap - EXIT
timed "CPython 3.14 root" tools/sid-root.sh run tools/test-in-root.sh
timed "fuzzing" tools/fuzz.sh
echo "== all suites passed in $((SECONDS - begin)) s" >&2
