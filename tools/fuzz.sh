#!/usr/bin/env bash
# Builds every fuzz/*_fuzz.cpp with libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer inside the Debian-unstable root, then runs each
# for ZORV_FUZZ_SECONDS (default 20) from a scratch copy of its seed corpus
# fuzz/corpus/<name>/. Fails when any target fails to build or crashes.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ -z "${ZORV_IN_ROOT:-}" ]; then
  exec tools/sid-root.sh run env ZORV_FUZZ_SECONDS="${ZORV_FUZZ_SECONDS:-20}" tools/fuzz.sh "$@"
fi

seconds=${ZORV_FUZZ_SECONDS:-20}
out=build/fuzz
mkdir -p "$out"
shopt -s nullglob
core_sources=(src/common/*.cpp src/readers/*.cpp src/electrolyte/*.cpp src/transport/*.cpp)
flags=(-std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
       -ffp-contract=off -Isrc -Ifuzz)

# The core once as objects, then one link per target.
objects=()
for source in "${core_sources[@]}"; do
  object="$out/core/${source//\//_}.o"
  mkdir -p "$out/core"
  if [ ! -f "$object" ] || [ "$source" -nt "$object" ] || [ "$0" -nt "$object" ] \
     || [ -n "$(find src/common src/readers src/electrolyte src/transport -name '*.hpp' -newer "$object" 2>/dev/null)" ]; then
    clang++ "${flags[@]/-fsanitize=fuzzer,address,undefined/-fsanitize=fuzzer-no-link,address,undefined}" \
      -c "$source" -o "$object"
  fi
  objects+=("$object")
done

failed=()
for target in fuzz/*_fuzz.cpp; do
  name=$(basename "$target" _fuzz.cpp)
  echo "== fuzz $name: build" >&2
  clang++ "${flags[@]}" "$target" "${objects[@]}" -o "$out/$name"
  work=$(mktemp -d)
  mkdir -p "$work/corpus" "$work/artifacts"
  if [ -d "fuzz/corpus/$name" ]; then cp -r "fuzz/corpus/$name/." "$work/corpus/"; fi
  echo "== fuzz $name: ${seconds}s" >&2
  if "$out/$name" "$work/corpus" -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=2048 \
       -timeout=10 -artifact_prefix="$work/artifacts/" -print_final_stats=1 >"$work/log" 2>&1; then
    grep -E '^(Done|stat::number_of_executed_units)' "$work/log" >&2 || true
  else
    tail -n 40 "$work/log" >&2
    mkdir -p "$out/crashes/$name"
    cp "$work/artifacts/"* "$out/crashes/$name/" 2>/dev/null || true
    echo "== fuzz $name: FAILED (inputs kept in $out/crashes/$name)" >&2
    failed+=("$name")
  fi
  rm -rf "$work"
done

if [ "${#failed[@]}" -gt 0 ]; then
  echo "== fuzz: crashes in ${failed[*]}" >&2
  exit 1
fi
echo "== fuzz: all targets ran clean" >&2
