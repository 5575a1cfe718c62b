#!/usr/bin/env bash
# Sources of the whole-program benchmark, for a running (private) server:
# null sinks qr_bench_sink_1..16, each playing a 440 Hz sine at 48000 Hz.
# Their monitors deliver fragments of the size a stream asks for, as a sound
# card does. Source this file and call load_bench_sinks.
# Programme-like material for the benchmarks that must not judge on a sine:
# make_programme_material.
load_bench_sinks() {
  local i
  for i in $(seq 1 16); do
    pactl load-module module-null-sink sink_name=qr_bench_sink_$i rate=48000 >/dev/null
    pactl load-module module-sine sink=qr_bench_sink_$i frequency=440 >/dev/null
  done
}

# make_programme_material DIR SECONDS : DIR/speech.wav (a newsreader, made by
# espeak-ng) and DIR/music.wav (plucked chords over a bass line, a little
# noise, reverb, made by sox), SECONDS long each, 48000 Hz stereo 16 bits,
# and DIR/programme.wav, the one after the other.
make_programme_material() {
  local dir=$1 secs=$2 len reps parts k chord barlen TEXT
  # Speech: a newsreader's text, read again until long enough.
  TEXT="Good morning, it is seven o'clock. Here is the news. The regional council met last night to discuss the new \
  bus lines, which will serve the northern villages from next spring. Traffic is heavy on the ring road this \
  morning after an accident near the bridge; drivers are asked to take the coast road. The weather: clouds in \
  the morning, sunny spells in the afternoon, twenty one degrees. And now, music."
  espeak-ng -v en -s 165 -w "$dir/voice.wav" "$TEXT"
  sox "$dir/voice.wav" -r 48000 -c 2 -b 16 "$dir/voice48.wav"
  len=$(soxi -D "$dir/voice48.wav")
  reps=$(awk -v l="$len" -v s="$secs" 'BEGIN { r = int(s / l); print (r < 1 ? 0 : r) }')
  sox "$dir/voice48.wav" "$dir/speech.wav" repeat "$reps" trim 0 "$secs"

  # Music-like: four chords of plucked strings over a bass, 2 s each.
  parts=()
  k=0
  for chord in "C4 E4 G4 C3" "A3 C4 E4 A2" "F3 A3 C4 F2" "G3 B3 D4 G2"; do
    set -- $chord
    sox -n -r 48000 -c 2 -b 16 "$dir/c$k.wav" synth 2 pluck "$1" pluck "$2" pluck "$3" sine "$4" \
      pinknoise remix 1,2,3,4,5v0.05 1,2,3,4,5v0.05 fade 0 2 0.3 2>/dev/null ||
    sox -n -r 48000 -c 2 -b 16 "$dir/c$k.wav" synth 2 pluck "$1" pluck "$2" pluck "$3" sine "$4" fade 0 2 0.3
    parts+=("$dir/c$k.wav")
    k=$((k + 1))
  done
  sox "${parts[@]}" "$dir/bar.wav" reverb 40 gain -n -3
  barlen=$(soxi -D "$dir/bar.wav")
  reps=$(awk -v l="$barlen" -v s="$secs" 'BEGIN { print int(s / l) }')
  sox "$dir/bar.wav" "$dir/music.wav" repeat "$reps" trim 0 "$secs"
  sox "$dir/music.wav" "$dir/speech.wav" "$dir/programme.wav"
}
