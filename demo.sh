#!/usr/bin/env bash
# Renders an emulated Today screen with the picture item showing the bundled sample photo, into
# today.png: installs what the build needs, builds, registers the item in a registry file under
# build/ (your own registry is not touched), sets the photo, and renders the screen.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh
cmake --preset dev >/dev/null
cmake --build --preset dev --target today-host

host=build/dev/host/today-host
registry=build/dev/demo/registry.sqlite3
rm -f "$registry"
"$host" install --registry "$registry"
"$host" set --registry "$registry" --path samples/ladybird.jpg --mode stretch --height 180
"$host" show --registry "$registry" --screen 240x320 --out today.png
