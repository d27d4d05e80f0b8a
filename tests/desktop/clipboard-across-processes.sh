#!/usr/bin/env bash
# Copy media in one program, read the X clipboard with xclip and decode it
# with the core's reader, then paste it twice in a second program. Runs
# under xvfb-run, so the two processes share a real X clipboard.
set -euo pipefail
cli=$1 peer=$2 copier=""
work=$(mktemp -d)
trap 'kill "$copier" 2>/dev/null || true; rm -rf "$work"' EXIT
# The copier ends by a signal, before it can remove its temporary directory.
mkdir "$work/tmp"
export TMPDIR=$work/tmp
mkdir -p "$work/cd/sub"
echo a > "$work/cd/a.txt"; echo b > "$work/cd/sub/b.txt"
"$cli" --settings "$work/s.ini" scan "$work/src.qvd" "$work/cd" --name CD1 --no-applications >/dev/null
"$cli" --settings "$work/s.ini" new "$work/dst.qvd" >/dev/null
export QT_QPA_PLATFORM=xcb
"$peer" copy "$work/src.qvd" 0 > "$work/copier.out" &
copier=$!
for _ in $(seq 100); do grep -q copied "$work/copier.out" 2>/dev/null && break; sleep 0.1; done
xclip -selection clipboard -t TARGETS -o | grep -qx application/x-quolvane-data
xclip -selection clipboard -t application/x-quolvane-data -o > "$work/clip.qvd"
# The payload is a catalog stream and nothing else: the reader takes it as a file.
expected=$(printf '0\tMedia\t0\tCD1\n1\tFile\t1\ta.txt\n2\tDir\t1\tsub\n3\tFile\t2\tb.txt')
[ "$("$cli" list "$work/clip.qvd")" = "$expected" ] || { "$cli" list "$work/clip.qvd"; exit 1; }
[ "$("$peer" paste "$work/dst.qvd" "$work/pasted.qvd")" = 8 ]
[ "$("$cli" list "$work/pasted.qvd" | cut -f4 | tr '\n' ' ')" = "CD1 a.txt sub b.txt CD1 a.txt sub b.txt " ]
echo "clipboard: ok"
