#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds the editor and the command-line
# exporter beside it, and starts the editor: on the desktop when there is
# one, otherwise under a virtual X server.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j2 --target corvel-quillmark corvel-quillmark-export
if [[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]]; then
  exec build/bin/corvel-quillmark
else
  exec xvfb-run -a -s "-screen 0 1920x1080x24" build/bin/corvel-quillmark
fi
