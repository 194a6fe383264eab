#!/usr/bin/env bash
# Installs everything the tests need (make among it; apt-get as root or through sudo), builds
# every program and runs every test layer. The same as `make test` once make is there.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh test
exec make test
