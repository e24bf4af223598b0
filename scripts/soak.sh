#!/usr/bin/env bash
# Reliability soak (minutes, so beside the test command rather than in it):
# random arguments to every export of both addons, Worker churn, and process
# endings with work in flight. One line per check: "name: N runs, N failures".
# Arguments go to test/soak/run.js (--calls, --cycles, --exits, --watch-minutes,
# --watch-cycles, --stream-minutes, --seed).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
node scripts/build.js >/dev/null
node test/soak/run.js "$@"
