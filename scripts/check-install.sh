#!/usr/bin/env bash
# Installs a build into a temporary prefix and checks the tree as a desktop sees
# it: every file in its place, the desktop entry and AppStream metadata valid,
# ".zel" and ".reclist" files recognised (with a private XDG data folder) and
# handed to the application. Exit 77 (skipped) when a checking tool is missing.
# Usage: scripts/check-install.sh BUILD_DIR
set -euo pipefail
build=${1:?usage: check-install.sh BUILD_DIR}
for tool in desktop-file-validate appstreamcli update-mime-database update-desktop-database xdg-mime; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "skipped: $tool is missing (scripts/setup-deps.sh installs it)"
    exit 77
  fi
done

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
prefix=$tmp/prefix
share=$prefix/share
app=com.merovane.ZelVelomar
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

cmake --install "$build" --prefix "$prefix" >"$tmp/install.log" || { cat "$tmp/install.log"; exit 1; }

expected=(bin/zelctl share/man/man1/zelctl.1.gz "share/applications/$app.desktop"
  "share/metainfo/$app.metainfo.xml" share/mime/packages/zel-velomar.xml)
# The manuals are rendered with Qt: a build without it has none to install.
for manual in "Velomar 3 Guide.pdf" "Diza Didurido.pdf"; do
  if [ -f "$build/$manual" ]; then expected+=("share/doc/zel-velomar/$manual"); fi
done
for name in zel-velomar application-x-zel-recording application-x-zel-reclist; do
  context=mimetypes
  [ "$name" = zel-velomar ] && context=apps
  expected+=("share/icons/hicolor/scalable/$context/$name.svg")
  for size in 16 32 48 64 128 256; do
    expected+=("share/icons/hicolor/${size}x${size}/$context/$name.png")
  done
done
for file in "${expected[@]}"; do
  [ -s "$prefix/$file" ] || fail "$file is not installed"
done
for png in "$share"/icons/hicolor/*x*/*/*.png; do
  size=${png#"$share"/icons/hicolor/}
  size=${size%%x*}
  file "$png" | grep -q "PNG image data, $size x $size" || fail "$png is not a $size pixel PNG"
done
if [ -x "$build/zel-velomar" ]; then
  [ -x "$prefix/bin/zel-velomar" ] || fail "bin/zel-velomar is not installed"
fi

desktop-file-validate "$share/applications/$app.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net --explain "$share/metainfo/$app.metainfo.xml" || fail "appstreamcli validate"

# The file types as a desktop would find them: from this tree only.
export XDG_DATA_HOME=$share XDG_DATA_DIRS=/usr/share XDG_CONFIG_HOME=$tmp/config XDG_CURRENT_DESKTOP= DE=
update-mime-database "$share/mime"
update-desktop-database "$share/applications"
printf 'not a real call' >"$tmp/4711-20261207 101507.zel"
printf '<root>\r\n   <rec>/calls/4711.zel</rec>\r\n</root>\r\n' >"$tmp/calls.reclist"
for pair in "4711-20261207 101507.zel|application/x-zel-recording" "calls.reclist|application/x-zel-reclist"; do
  sample=${pair%%|*}
  type=${pair#*|}
  found=$(xdg-mime query filetype "$tmp/$sample" 2>/dev/null || true)
  [ "$found" = "$type" ] || fail "$sample is '$found', not $type"
  handler=$(xdg-mime query default "$type" 2>/dev/null || true)
  [ "$handler" = "$app.desktop" ] || fail "$type opens with '$handler', not $app.desktop"
done
for type in application/x-zel-recording application/x-zel-reclist; do
  grep -qx "$type:${type/\//-}" "$share/mime/icons" || fail "update-mime-database lists no icon for $type"
done

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "install tree OK: ${#expected[@]} files, validators passed, file types recognised"
