#!/usr/bin/env bash
# The web console's benchmark (see web_bench.py): bash bench/web_bench.sh [build]
set -euo pipefail
BUILD=${1:-build}
HERE=$(cd "$(dirname "$0")" && pwd)
exec /usr/bin/python3 "$HERE/web_bench.py" "$BUILD/quillon-web" "$HERE/../tests/web/helpers/fake_recorder.py" \
  "${QW_BENCH_SECONDS:-20}"
