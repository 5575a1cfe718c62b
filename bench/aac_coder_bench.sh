#!/usr/bin/env bash
# The AAC encoder's two coders on programme-like material (not the test
# tone): speech made by espeak-ng and music-like material made by sox
# (plucked chords over a bass line, a little noise, reverb), 48000 Hz stereo.
# For each, the CPU time (user + system) of FFmpeg's AAC encoder with the
# default coder ("twoloop") and with "fast", at 128 kbit/s, best of three
# runs, the ratio, and a crude distance of the decoded result from the source
# (signal-to-noise over the whole file, after aligning the encoder's delay).
#   bench/aac_coder_bench.sh [seconds of material]
set -euo pipefail
SECONDS_OF=${1:-${QR_BENCH_AAC_SECONDS:-60}}
for t in espeak-ng sox ffmpeg python3; do
  command -v "$t" >/dev/null || { echo "$t is missing (scripts/install-deps.sh)" >&2; exit 1; }
done
W=$(mktemp -d /tmp/qr-aac.XXXXXX)
trap 'rm -rf "$W"' EXIT

HERE=$(cd "$(dirname "$0")" && pwd)
source "$HERE/../scripts/bench-sources.sh"
make_programme_material "$W" "$SECONDS_OF"

# cpu FILE CODER : best CPU seconds of three encodings.
cpu() {
  local best= i t
  for i in 1 2 3; do
    t=$( { /usr/bin/env TIMEFORMAT='%U %S' bash -c "time ffmpeg -nostdin -v error -y -i '$1' -c:a aac -b:a 128k \
        -aac_coder $2 '$W/out_$2.aac'" ; } 2>&1 | tail -1 | awk '{ print $1 + $2 }')
    best=$(awk -v a="${best:-1e9}" -v b="$t" 'BEGIN { print (b < a ? b : a) }')
  done
  echo "$best"
}
# snr FILE CODER : dB of the decoded file against the source.
snr() {
  ffmpeg -nostdin -v error -y -i "$W/out_$2.aac" -f s16le -ac 2 -ar 48000 "$W/dec.raw"
  ffmpeg -nostdin -v error -y -i "$1" -f s16le -ac 2 -ar 48000 "$W/src.raw"
  python3 - "$W/src.raw" "$W/dec.raw" <<'EOF'
import sys, array, math
a = array.array('h'); a.frombytes(open(sys.argv[1], 'rb').read())
b = array.array('h'); b.frombytes(open(sys.argv[2], 'rb').read())
a = a[0::2]; b = b[0::2]
n = min(len(a), len(b)) - 4096
# The encoder's delay: the shift with the smallest error over a short stretch.
w = range(48000, 48000 + 2400)
d = min(range(0, 2049), key=lambda d: sum((b[i + d] - a[i]) ** 2 for i in w))
s = sum(x * x for x in a[:n]); e = sum((b[i + d] - a[i]) ** 2 for i in range(n))
print("%.1f" % (10 * math.log10(s / e)) if e else "inf")
EOF
}

printf '%-10s %14s %14s %8s %16s %16s\n' "material" "twoloop CPU s" "fast CPU s" "ratio" "twoloop SNR dB" "fast SNR dB"
for m in speech music; do
  a=$(cpu "$W/$m.wav" twoloop)
  b=$(cpu "$W/$m.wav" fast)
  sa=$(snr "$W/$m.wav" twoloop)
  sb=$(snr "$W/$m.wav" fast)
  printf '%-10s %14s %14s %8s %16s %16s\n' "$m" "$a" "$b" "$(awk -v a="$a" -v b="$b" 'BEGIN { printf "%.2f", b / a }')" "$sa" "$sb"
done
echo "(${SECONDS_OF} s of 48000 Hz stereo at 128 kbit/s; ratio = fast / twoloop)"
