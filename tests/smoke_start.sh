#!/usr/bin/env bash
# Starts the real editor on the offscreen platform, lets the splash give way
# to the main window, and fails if the program dies on its own before it is
# stopped (a crash or an early exit at start-up), or if it leaves anything in
# the (scratch) home folder: the editor keeps no settings.
set -u
exe="$1"
home="$(mktemp -d)"
trap 'rm -rf "$home"' EXIT
HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_CACHE_HOME="$home/.cache" \
  XDG_DATA_HOME="$home/.local/share" XDG_STATE_HOME="$home/.local/state" \
  QT_QPA_PLATFORM=offscreen timeout -s TERM 6 "$exe"
status=$?
if [[ $status -ne 124 ]]; then
  echo "editor exited by itself with status $status" >&2
  exit 1
fi
left="$(find "$home" -mindepth 1)"
if [[ -n "$left" ]]; then
  echo "editor left files in the home folder:" >&2
  echo "$left" >&2
  exit 1
fi
echo "editor ran until stopped and left the home folder empty"
exit 0
