#!/usr/bin/env bash
# Sets everything up on a fresh Debian 12 machine, builds, and starts the program.
# Until the desktop window exists this shows the main job from the command line: it
# makes a folder of sample recordings (once) and lists it as a recording list does.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh
scripts/build.sh

demo="${XDG_DATA_HOME:-$HOME/.local/share}/Merovane/Ostrel Manager/Demo Recordings"
passphrase="Velomar-Demo-2026"
if [ ! -d "$demo" ]; then
  build/zelctl make-demo "$demo" --passphrase "$passphrase"
fi
echo "Recordings in $demo:"
exec build/zelctl search --subfolders --dates all --passphrase "$passphrase" "$demo"
