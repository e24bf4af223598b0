#!/usr/bin/env bash
# The main job: build the addon and show what it answers on this machine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
node scripts/build.js
node scripts/demo.js "$@"
# On Linux, the same exports on a real X server (its own Xvfb when there is no display).
if [ "$(uname -s)" = Linux ]; then node scripts/demo-x11.js; node scripts/demo-watch.js; fi
