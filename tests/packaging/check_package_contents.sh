#!/usr/bin/env bash
# Builds the Debian package from this build tree and checks its file list.
set -euo pipefail
build=$1
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
(cd "$build" && cpack -G DEB -B "$out" >/dev/null)
deb=$(ls "$out"/*.deb)
contents=$(dpkg-deb --contents "$deb" | awk '{print $6}')
missing=0
for f in ./usr/bin/lap-logger ./usr/bin/lap-logger-cli ./usr/bin/ant-stick-sim \
         ./usr/share/applications/com.draftwell.LapLogger.desktop \
         ./usr/share/metainfo/com.draftwell.LapLogger.metainfo.xml \
         ./usr/share/icons/hicolor/scalable/apps/com.draftwell.LapLogger.svg \
         ./usr/share/man/man1/lap-logger.1 ./usr/share/man/man1/lap-logger-cli.1 \
         ./usr/share/man/man1/ant-stick-sim.1 \
         ./usr/lib/udev/rules.d/70-draftwell-ant-sticks.rules; do
  if ! grep -qx -- "$f" <<<"$contents"; then
    echo "missing from package: $f"
    missing=1
  fi
done
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for d in libqt6widgets6 libusb-1.0-0 libudev1 qt6-qpa-plugins; do
  grep -q "$d" <<<"$depends" || { echo "missing dependency $d"; missing=1; }
done
exit $missing
