#!/usr/bin/env bash
# The part of the suite that runs inside the Debian-unstable root: CPython 3.14
# release and debug builds, a sanitized build, and the pip installation with its
# type stubs.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/native_tests.sh

echo "== ruff: the linter and the formatter over the Python of the project" >&2
ruff check python tests bench tools examples
ruff format --check python tests bench tools examples

timed "CPython 3.14, the whole suite" env ZORV_WORKERS=2 tools/suite.sh python3.14 build/sid-py314
timed "CPython 3.14 debug interpreter" env ZORV_TESTS="$NATIVE_TESTS" ZORV_PYTEST_MARK="not slow" \
  tools/suite.sh python3.14d build/sid-py314d -DCMAKE_BUILD_TYPE=Debug

# AddressSanitizer and UndefinedBehaviorSanitizer over the whole suite. The
# interpreter does not link libstdc++, so it is preloaded too: otherwise the
# sanitizer finds no __cxa_throw to forward to and aborts on the first C++ throw.
# The package's tests too, since they drive the second module's readers, fits and searches the most.
timed "CPython 3.14 sanitized" env ZORV_WORKERS=2 ZORV_PYTEST_MARK="not slow" \
  ZORV_PRELOAD="$(g++ -print-file-name=libasan.so):$(g++ -print-file-name=libstdc++.so)" \
  tools/suite.sh python3.14 build/sid-asan -DZORV_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo

timed "pip install with type stubs" tools/install-check.sh python3.14 --stubs
