#!/usr/bin/env bash
# Sets everything up on a fresh Debian 12 machine, builds, and starts the desktop
# application. A folder of sample recordings is made once; on the first start the
# application adds it to "My Shortcuts". Without a display the same recordings are
# listed on the command line instead, so the command never fails for want of one.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh
scripts/build.sh

demo="${XDG_DATA_HOME:-$HOME/.local/share}/Merovane/Ostrel Manager/Demo Recordings"
passphrase="Velomar-Demo-2026"
if [ ! -d "$demo" ]; then
  build/zelctl make-demo "$demo" --passphrase "$passphrase"
fi

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  echo "Starting Zel Velomar. The demo recordings are under My Shortcuts; the encrypted"
  echo "one opens with the passphrase \"$passphrase\" (Tools > Encryption)."
  exec build/zel-velomar
fi

echo "No display (neither DISPLAY nor WAYLAND_DISPLAY is set): showing the recordings on"
echo "the command line instead of starting the window."
echo "Recordings in $demo:"
exec build/zelctl search --subfolders --dates all --passphrase "$passphrase" "$demo"
