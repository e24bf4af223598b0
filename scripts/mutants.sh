#!/usr/bin/env bash
# Applies each small fault of test/mutants/mutants.txt to a private copy of the
# tree, runs the test suite against it and prints "N of M mutants killed".
# Usage: scripts/mutants.sh [filter]   (only mutants whose file or text contains filter)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh >/dev/null
exec python3 test/mutants/run.py "$@"
