#!/usr/bin/env bash
# Starts the real editor on the offscreen platform, lets the splash give way
# to the main window, and fails if the program dies on its own before it is
# stopped (a crash or an early exit at start-up).
set -u
exe="$1"
QT_QPA_PLATFORM=offscreen timeout -s TERM 6 "$exe"
status=$?
if [[ $status -eq 124 ]]; then
  echo "editor ran until stopped"
  exit 0
fi
echo "editor exited by itself with status $status" >&2
exit 1
