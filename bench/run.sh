#!/usr/bin/env bash
# Runs the readers' benchmarks inside the Debian-unstable root, where the
# peers (numpy, pandas) live. Sizes can be cut for a quick look:
#   bench/run.sh [table rows] [log MB] [scan MB]
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -z "${ZORV_IN_ROOT:-}" ]; then exec tools/sid-root.sh run bench/run.sh "$@"; fi
rows=${1:-2000000}; log_mb=${2:-1024}; scan_mb=${3:-1024}
build=build/bench
cmake -S . -B "$build" -G Ninja -DPython_EXECUTABLE="$(command -v python3.14)" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j 2 >/dev/null
g++ -std=c++20 -O2 -ffp-contract=off -Isrc bench/scanning_bench.cpp src/readers/*.cpp -o "$build/scanning_bench"
echo "== scanning (C++)"
"$build/scanning_bench" "$scan_mb"
echo "== readers through the module (Python $(python3.14 -c 'import sys; print(sys.version.split()[0])'))"
ZORV_MODULE_DIR="$PWD/$build/python" python3.14 bench/transport_table_bench.py --rows "$rows" --log-mb "$log_mb"
