#!/usr/bin/env bash
# Builds the Debian package zel-velomar_<version>_<arch>.deb with CPack in its own
# build folder (installed under /usr, no tests, no benchmarks) and checks it: the
# files a desktop needs are in it and dpkg-shlibdeps has filled in Depends.
# Usage: scripts/make-deb.sh [BUILD_DIR]   (default: build-deb; the .deb lands there)
# Takes several minutes on a cold build; not part of the test suite.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-deb}
jobs=${ZEL_JOBS:-2}

launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
generator=()
if command -v ninja >/dev/null 2>&1; then generator=(-G Ninja); fi
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" "${generator[@]}" "${launcher[@]}"
fi
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DZEL_TESTS=OFF -DZEL_BENCH=OFF -DZEL_SANITIZE=OFF -DZEL_TSAN=OFF -DZEL_FUZZ=OFF
cmake --build "$build" --parallel "$jobs"
rm -f "$build"/zel-velomar_*.deb
(cd "$build" && cpack -G DEB)

shopt -s nullglob
debs=("$build"/zel-velomar_*.deb)
if [ ${#debs[@]} -ne 1 ]; then
  echo "make-deb: cpack made no zel-velomar package" >&2
  exit 1
fi
deb=${debs[0]}

# The package's own checks: what a desktop and the package manager rely on.
failures=0
# The name follows the time of day; names may hold blanks.
list=$(dpkg-deb -c "$deb" | sed -E 's|^.* [0-9]{2}:[0-9]{2} \./|/|; s| -> .*$||')
expected=(/usr/bin/zelctl /usr/libexec/zelctl-play /usr/share/man/man1/zelctl.1.gz
  /usr/share/applications/com.merovane.ZelVelomar.desktop
  /usr/share/metainfo/com.merovane.ZelVelomar.metainfo.xml
  /usr/share/mime/packages/zel-velomar.xml
  /usr/share/icons/hicolor/scalable/apps/zel-velomar.svg
  /usr/share/icons/hicolor/256x256/apps/zel-velomar.png
  /usr/share/icons/hicolor/16x16/mimetypes/application-x-zel-recording.png
  /usr/share/icons/hicolor/scalable/mimetypes/application-x-zel-reclist.svg)
if [ -x "$build/zel-velomar" ]; then expected+=(/usr/bin/zel-velomar); fi
for manual in "$build"/*.pdf; do expected+=("/usr/share/doc/zel-velomar/$(basename "$manual")"); done
for file in "${expected[@]}"; do
  if ! grep -qx -- "$file" <<<"$list"; then
    echo "make-deb: $file is missing from the package" >&2
    failures=$((failures + 1))
  fi
done
if grep -q '^/usr/local/\|/build' <<<"$list"; then
  echo "make-deb: the package holds files outside /usr" >&2
  failures=$((failures + 1))
fi
package=$(dpkg-deb -f "$deb" Package)
depends=$(dpkg-deb -f "$deb" Depends)
[ "$package" = zel-velomar ] || { echo "make-deb: the package is named '$package'" >&2; failures=$((failures + 1)); }
for library in libc6 libstdc++6 libtinyxml2 libqt6multimedia6; do
  if ! grep -q "$library" <<<"$depends"; then
    echo "make-deb: Depends lacks $library: $depends" >&2
    failures=$((failures + 1))
  fi
done
if [ "$failures" -ne 0 ]; then
  echo "make-deb: $failures problem(s) in $deb" >&2
  exit 1
fi
echo "$deb"
echo "Depends: $depends"
