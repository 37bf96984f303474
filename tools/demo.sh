#!/usr/bin/env bash
# Builds the module for CPython 3.14 inside the Debian-unstable root, then
# analyses the bundled synthetic campaigns with the zorv-pp command and runs the
# walkthrough of the module's functions. Everything lands in build/demo/output.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v debootstrap >/dev/null || tools/host-deps.sh
tools/sid-root.sh run bash -c '
  set -e
  cmake -S . -B build/demo -G Ninja -DPython_EXECUTABLE=/usr/bin/python3.14 >/dev/null
  cmake --build build/demo -j 2 >/dev/null
  out=build/demo/output
  mkdir -p "$out"
  export PYTHONPATH=$PWD/build/demo/python:$PWD/python
  echo "== zorv-pp analyze: examples/campaign (KOH(aq), 3 molalities x 3 replicas)"
  python3.14 -m zorv_pp analyze examples/campaign/campaign.toml --out "$out/analysis" --jobs 2
  if [ -f examples/koh_campaign/campaign.toml ]; then
    echo "== zorv-pp koh: examples/koh_campaign (3 molalities x 2 temperatures x 3 replicas)"
    python3.14 -m zorv_pp koh examples/koh_campaign/campaign.toml --out "$out/koh" --jobs 2
  fi
  echo "== the module, function by function"
  python3.14 examples/demo.py "$out/module" >/dev/null
  echo "== analysis: $out/analysis/report.html (open it in a browser), results.csv and results.json, figures in $out/analysis/figures/"
  if [ -d "$out/koh" ]; then
    echo "== KOH study: $out/koh/report.html (open it in a browser), koh_study.csv and koh_study.json, figures in $out/koh/figures/"
  fi
  echo "== the walkthrough of the module: $out/module"
'
