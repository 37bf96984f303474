# The tests that exercise the compiled modules directly (their bindings, readers, fits and searches):
# what the host, debug-interpreter and sanitizer passes run; the whole suite runs once, under 3.14.
NATIVE_TESTS="tests/module tests/readers tests/transport tests/electrolyte tests/zorv_pp/test_msdfit.py \
tests/zorv_pp/test_fit_checks.py tests/zorv_pp/test_shell_search.py tests/zorv_pp/test_first_shell_native.py"
export NATIVE_TESTS
# Times each stage: `timed WHAT CMD...` runs CMD and prints how long it took.
timed() {
  local what=$1 start=$SECONDS; shift
  "$@"
  echo "== $what: $((SECONDS - start)) s" >&2
}
