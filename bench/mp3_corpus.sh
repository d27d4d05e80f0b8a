#!/usr/bin/env bash
# Encodes a corpus of MP3 files with lame and ffmpeg (every MPEG version,
# 8 to 48 kHz, mono and stereo, CBR, ABR and VBR, with and without
# Xing/Info/VBRI headers, ID3v2.3 and 2.4 tags) and prints, per file, the
# time and bit rate quolvane-cli describes beside ffprobe's duration and rate.
# Usage: bench/mp3_corpus.sh [BUILD_DIR] [SECONDS] [CORPUS_DIR]
# (default build, 150 s, a temporary directory; files already in CORPUS_DIR
# are reused).
# Exits non-zero when a duration is more than a second off or a CBR rate differs.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${1:-$ROOT/build}"
SECONDS_LONG="${2:-150}"
CLI="$(cd "$BUILD" && pwd)/quolvane-cli"
[ -x "$CLI" ] || { echo "no $CLI: build quolvane-cli first" >&2; exit 2; }

if [ -n "${3:-}" ]; then
  mkdir -p "$3" && cd "$3"
else
  WORK="$(mktemp -d "${TMPDIR:-/tmp}/qv-mp3-corpus.XXXXXX")"
  trap 'rm -rf "$WORK"' EXIT
  cd "$WORK"
fi

# Music-like sound: two gliding tones and noise whose loudness changes, so that
# a VBR encoder really varies its frame sizes.
EXPR="0.35*sin(2*PI*(220+80*sin(t/7))*t)*(0.6+0.4*sin(t/3))+(random(0)-0.5)*0.25*(0.5+0.5*sin(t/4))"
EXPR2="0.3*sin(2*PI*330*t)*(0.5+0.5*cos(t/5))+(random(1)-0.5)*0.2*(0.5+0.5*cos(t/6))"
[ -f src48.wav ] || ffmpeg -v error -f lavfi -i "aevalsrc=${EXPR}|${EXPR2}:s=48000:d=${SECONDS_LONG}" -c:a pcm_s16le src48.wav
[ -f src44.wav ] || ffmpeg -v error -i src48.wav -ar 44100 src44.wav

lame_enc() { # name options... (input 44.1 kHz stereo unless --resample/-m say otherwise)
  local name="$1"; shift
  [ -f "$name" ] || lame --quiet "$@" src44.wav "$name"
}
ff_enc() { # name options...
  local name="$1"; shift
  [ -f "$name" ] || ffmpeg -v error -i src48.wav "$@" "$name"
}

# lame: Info header on CBR, Xing on VBR and ABR, none with -t.
lame_enc l_m1_44_s_cbr128.mp3 -b 128
lame_enc l_m1_48_m_cbr64_noinfo.mp3 --resample 48 -m m -b 64 -t
lame_enc l_m1_32_s_v2.mp3 --resample 32 -V2
lame_enc l_m1_44_s_v2_noxing.mp3 -V2 -t
lame_enc l_m1_44_j_abr160.mp3 --abr 160
lame_enc l_m1_44_s_v0_id3v23.mp3 -V0 --id3v2-only --tt "Title" --ta "Artist" --tg Rock
lame_enc l_m2_22_m_cbr32.mp3 --resample 22.05 -m m -b 32
lame_enc l_m2_24_s_v4.mp3 --resample 24 -V4
lame_enc l_m2_16_s_v2.mp3 --resample 16 -V2
lame_enc l_m2_16_m_v5_noxing.mp3 --resample 16 -m m -V5 -t
lame_enc l_m2_22_s_abr48.mp3 --resample 22.05 --abr 48
lame_enc l_m25_11_m_cbr16.mp3 --resample 11.025 -b 16 -m m
lame_enc l_m25_8_m_v4.mp3 --resample 8 -m m -V4
lame_enc l_m25_12_s_cbr32_noinfo.mp3 --resample 12 -b 32 -t
lame_enc l_m25_8_m_v6_noxing.mp3 --resample 8 -m m -V6 -t
# ffmpeg: ID3v2.4 tags and an Info/Xing header by default.
ff_enc f_m2_22_m_cbr32.mp3 -ar 22050 -ac 1 -c:a libmp3lame -b:a 32k -metadata title="FF title" -metadata genre=17
ff_enc f_m1_44_s_q2.mp3 -ar 44100 -c:a libmp3lame -q:a 2 -metadata artist="FF artist"
ff_enc f_m1_48_s_cbr192_noxing.mp3 -ar 48000 -c:a libmp3lame -b:a 192k -write_xing 0
ff_enc f_m25_8_m_cbr8.mp3 -ar 8000 -ac 1 -c:a libmp3lame -b:a 8k
ff_enc f_m1_32_s_cbr96_id3v23.mp3 -ar 32000 -c:a libmp3lame -b:a 96k -id3v2_version 3 -metadata title=T3
ff_enc f_m1_44_s_shine128.mp3 -ar 44100 -c:a libshine -b:a 128k -write_xing 0
ff_enc f_m2_24_s_l2_64.mp3 -ar 24000 -c:a mp2 -b:a 64k -f mp2
ff_enc f_m1_48_s_l2_192.mp3 -ar 48000 -c:a mp2 -b:a 192k -f mp2

# A VBRI header (as Fraunhofer's encoder writes) in front of header-less VBR
# frames: a silent first frame of the same format carrying the frame and byte
# counts of the whole stream.
python3 - l_m1_44_s_v2_noxing.mp3 fh_m1_44_s_vbri.mp3 <<'PY'
import struct, sys
src = open(sys.argv[1], "rb").read()
rates = [0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320]
pos, frames = 0, 0
while pos + 4 <= len(src) and src[pos] == 0xFF:
    b2 = src[pos + 2]
    pos += 144 * rates[b2 >> 4] * 1000 // 44100 + ((b2 >> 1) & 1)
    frames += 1
hdr = bytes([0xFF, 0xFB, 0x90, 0x00])      # MPEG-1 Layer III 128k 44.1 kHz, 417 bytes
body = bytearray(417 - 4)
vbri = b"VBRI" + struct.pack(">HHHII HHHH", 1, 0, 75, 417 + pos, frames + 1, 0, 1, 2, 1)
body[32:32 + len(vbri)] = vbri
open(sys.argv[2], "wb").write(hdr + bytes(body) + src[:pos])
PY

printf '%-34s %-14s %-16s %-10s %s\n' file ours ffprobe counted verdict
fail=0
for f in *.mp3; do
  ours="$("$CLI" describe "$f" | tr -d '\r')"
  probe="$(ffprobe -v error -select_streams a:0 -show_entries stream=duration,bit_rate -of csv=p=0 "$f")"
  # Without a header ffprobe estimates a VBR stream's duration from its first
  # frames; the frames it counts give the true one.
  counted="$(ffprobe -v error -count_packets -select_streams a:0 \
    -show_entries stream=codec_name,sample_rate,nb_read_packets -of csv=p=0 "$f")"
  python3 - "$f" "$ours" "$probe" "$counted" <<'PY' || fail=1
import sys
name, ours, probe, counted = sys.argv[1:]
codec, rate_hz, packets = counted.split(",")[:3]
spf = 576 if codec == "mp3" and int(rate_hz) < 32000 else 1152
exact = int(packets) * spf / int(rate_hz)
fields = dict(line.split("\t", 1) for line in ours.splitlines() if "\t" in line)
time, rate = fields.get("Time", "?"), fields.get("Bit rate", "?")
dur, br = (probe.split(",") + ["N/A", "N/A"])[:2]
secs = 0
for part in time.split(":"):
    secs = secs * 60 + int(part)
reference = exact if "noxing" in name else float(dur)
ok = abs(secs - reference) <= 1.0
k, _, rest = rate.rstrip("v").partition("k")
ours_rate = int(k) * 1000 + (int(rest.ljust(3, "0")) if rest else 0)
cbr = "cbr" in name or "shine" in name or "_l2_" in name
if cbr:
    ok = ok and not rate.endswith("v") and br != "N/A" and ours_rate == int(br)
theirs = "%.1f s, %s" % (float(dur), "%dk" % (int(br) // 1000) if br.isdigit() else br)
print("%-34s %-14s %-16s %-10s %s" % (name, time + ", " + rate, theirs, "%.1f s" % exact, "ok" if ok else "OFF"))
sys.exit(0 if ok else 1)
PY
done
exit $fail
