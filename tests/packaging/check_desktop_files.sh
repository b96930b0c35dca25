#!/usr/bin/env bash
# The desktop entry and the AppStream metainfo must validate.
set -euo pipefail
src=$1
desktop-file-validate "$src/packaging/com.draftwell.LapLogger.desktop"
appstreamcli validate --no-net --pedantic "$src/packaging/com.draftwell.LapLogger.metainfo.xml"
echo "desktop entry and metainfo valid"
