#!/usr/bin/env bash
# Runs the real corvel-quillmark-export with no display, and a Qt platform
# named that would need one: it must start, export one expression and
# answer with the exit statuses scripts rely on.
set -u
exe="$1"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
unset DISPLAY WAYLAND_DISPLAY
export QT_QPA_PLATFORM=xcb # named but unusable: the exporter needs none
fail() { echo "$*" >&2; exit 1; }

"$exe" --version | grep -q '^corvel-quillmark-export ' || fail "--version"
# One horizontal line, 12 pixels wide, at y 160 from x 26 to 114.
printf '\x00\x00\xff\xff\x00\x00\x00\x00\x00\x00\x46\x00\xa0\x00\x1a\x00\x72\x00\x0c\x00\xff\xff' > "$dir/line.exp"
"$exe" "$dir/line.exp" || fail "export failed with status $?"
[[ "$(head -c 2 "$dir/line.bmp")" == "BM" ]] || fail "no bitmap written"
"$exe" --no-such-option "$dir/line.exp" 2>/dev/null
[[ $? -eq 2 ]] || fail "an unknown option must give status 2"
"$exe" "$dir/missing.exp" 2>/dev/null
[[ $? -eq 1 ]] || fail "a missing file must give status 1"
echo "exporter ran without a display"
