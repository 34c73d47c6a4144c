#!/usr/bin/env bash
# Builds the release zip: the DLL, the documented INI, the player README, the changelog and the
# motion report page, in build/package/Driftglass-VERSION.zip (VERSION: the project line of
# CMakeLists.txt).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"

bash "$DRIFTGLASS_ROOT/scripts/setup.sh"
configure_and_build >/dev/null

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$BUILD_DIR/CMakeCache.txt")
if [ -z "$version" ]; then
  echo "package: no project version in $BUILD_DIR/CMakeCache.txt" >&2
  exit 1
fi
stage="$BUILD_DIR/package/Driftglass-$version"
rm -rf "$BUILD_DIR/package"
mkdir -p "$stage"
for file in "$BUILD_DIR/dist/Driftglass.dll" "$BUILD_DIR/dist/Driftglass.ini" \
            "$BUILD_DIR/report/Driftglass-report.html" "$DRIFTGLASS_ROOT/packaging/README.txt"; do
  if [ ! -f "$file" ]; then
    echo "package: $file is missing" >&2
    exit 1
  fi
  cp "$file" "$stage/"
done
cp "$DRIFTGLASS_ROOT/CHANGELOG.md" "$stage/CHANGELOG.txt"
# The player README names the version; Windows players open both with Notepad: CRLF line ends.
sed -i -e "s/@VERSION@/$version/g" -e 's/\r\?$/\r/' "$stage/README.txt"
sed -i -e 's/\r\?$/\r/' "$stage/CHANGELOG.txt"
(cd "$BUILD_DIR/package" && cmake -E tar cf "Driftglass-$version.zip" --format=zip "Driftglass-$version")
echo "package: $BUILD_DIR/package/Driftglass-$version.zip"
(cd "$BUILD_DIR/package" && cmake -E tar tf "Driftglass-$version.zip")
