#!/usr/bin/env bash
# Sets everything up on a fresh Debian 12 machine, builds, and starts the program.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh
scripts/build.sh
exec build/zelctl --help
