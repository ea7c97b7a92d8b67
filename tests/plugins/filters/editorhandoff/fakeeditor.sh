#!/bin/sh
# Stands in for the user's wave editor: changes the WAVE file named by its one
# argument as KV_FAKE_EDIT says, with sox where audio is edited, then exits
# (or, with "hang", writes its process id to KV_FAKE_NAMES and never exits).
set -e
file=$1
edited="$file.edited.wav"
# sox <options before the output> -- <effects after it>
edit() {
    sox "$file" "$@"
    mv "$edited" "$file"
}
case "$KV_FAKE_EDIT" in
gain) edit "$edited" vol 0.5 ;;
pcm8) edit -e unsigned-integer -b 8 "$edited" ;;
pcm16) edit -e signed-integer -b 16 "$edited" ;;
pcm24) edit -e signed-integer -b 24 "$edited" ;;
pcm32) edit -e signed-integer -b 32 "$edited" ;;
float64) edit -e floating-point -b 64 "$edited" ;;
rate) edit -r 16000 "$edited" ;;
mono) edit "$edited" remix 1 ;;
shorter) edit "$edited" vol 0.5 trim 0 0.5 ;;
longer) edit "$edited" vol 0.5 pad 0 0.25 ;;
names) printf '%s\n' "$file" >> "$KV_FAKE_NAMES" ;;
keep) cp "$file" "$KV_FAKE_COPY" ;;
replace) cp "$KV_FAKE_SOURCE" "$file" ;;
garbage) printf 'no wave here' > "$file" ;;
delete) rm -f "$file" ;;
fail) exit 3 ;;
crash) kill -KILL $$ ;;
hang) printf '%s\n' $$ > "$KV_FAKE_NAMES"; exec sleep 100000 ;;
*) exit 0 ;;
esac
