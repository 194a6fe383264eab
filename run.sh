#!/usr/bin/env bash
# Starts the clock on $DISPLAY, from a machine that may have nothing but bash and apt: installs
# what building the Linux program needs (make among it; apt-get as root or through sudo), builds
# the program and runs it. The same as `make run` once make is there.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh run
exec make run
