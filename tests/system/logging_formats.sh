#!/usr/bin/env bash
# The logging recorder starts by itself in each recording format: one short
# program run per format (WAV, MP3, WMA, Ogg Vorbis, AAC) on a faked date.
# Within a few seconds a slice "Pige Antenne yyyyMMdd_hh_mm_ss.<ext>" named
# at its start appears in the logging folder and grows; after SIGTERM it is
# closed whole: it decodes with FFmpeg without error, in the recorder's
# quality (48000 Hz, mono), with the sine source's tone from end to end and
# as long as the time it was recorded for.
set -u
source "$(dirname "$0")/helpers/common.bash" "$@"
source "$(dirname "$0")/helpers/logging.bash"

# ogg_closed FILE : the last Ogg page carries the end-of-stream flag.
ogg_closed() {
  local off
  off=$(grep -obUa "OggS" "$1" | tail -1 | cut -d: -f1)
  [ -n "$off" ] && [ "$(od -An -tu1 -j$((off + 4)) -N1 "$1" | tr -d ' ')" = "0" ] &&
    [ $(( $(od -An -tu1 -j$((off + 5)) -N1 "$1") & 4 )) -eq 4 ]
}

# mp3_frames FILE : the frame count of the Xing/Info header (0 while the
# file is being written).
mp3_frames() {
  local off
  off=$(grep -obUa -e "Xing" -e "Info" "$1" | head -1 | cut -d: -f1)
  [ -n "$off" ] || { echo 0; return; }
  od -An -v -tu1 -j$((off + 8)) -N4 "$1" | awk '{ print (($1 * 256 + $2) * 256 + $3) * 256 + $4 }'
}

# asf_duration FILE : the play duration the ASF header gives (empty or N/A
# while the file is being written).
asf_duration() { ffprobe -v error -show_entries format=duration -of default=nw=1:nk=1 "$1" 2>/dev/null; }

# record_format FORMAT CHARACTERISTIC EXT CODEC DATE
record_format() {
  local format=$1 characteristic=$2 ext=$3 codec=$4 date=$5
  local day=${date:0:4}${date:5:2}${date:8:2}
  echo "-- format $format ($ext)"
  echo "-- format $format" >>"${DRIVE}program.out"
  write_logging_settings "$format" "$characteristic"
  local launched=$SECONDS
  start_program_at "$date"
  local f
  f=$(wait_for_slice "Pige Antenne ${day}_*" 15)
  if [ -z "$f" ]; then
    fail "$ext: no slice within 15 s of the start ($(ls -A "$PIGE" 2>&1 | tr '\n' ';'))"
    [ -n "$PROG_PID" ] && stop_program TERM 30
    return
  fi
  pass "$ext: slice $(basename "$f") after $((SECONDS - launched)) s"
  local name
  name=$(basename "$f")
  if [[ "$name" =~ ^Pige\ Antenne\ ${day}_[0-9]{2}_[0-9]{2}_[0-9]{2}\.${ext}$ ]]; then
    pass "$ext: named by the logging rule"
  else
    fail "$ext: name '$name'"
  fi
  check_named_by_start "$day" "$f" "$ext"
  local started
  started=$(stamp_of "$day" ":Recording File: $f")
  check_grows "$f" "$ext"
  # A few seconds of recording in all.
  while [ $((SECONDS - launched)) -lt 8 ]; do sleep 0.2; done
  check_exit_on_sigterm "$day"

  local n
  n=$(slices | grep -c " ${day}_")
  if [ "$n" -eq 1 ]; then pass "$ext: one slice"; else fail "$ext: $n slices ($(slices | tr '\n' ';'))"; fi
  local p
  p=$(probe "$f")
  if [ "$p" = "$codec 48000 1" ]; then pass "$ext: $p"; else fail "$ext: stream '$p', expected '$codec 48000 1'"; fi
  local samples
  samples=$(decoded_samples "$f")
  if [ -z "$samples" ]; then
    fail "$ext: decoding reports errors"
    return
  fi
  local recorded_ms
  recorded_ms=$(( $(stamp_ms "$(stamp_of "$day" "Termination signal received")") - $(stamp_ms "$started") ))
  # As long as the time recorded: the sine source delivers its samples in
  # bursts that may run up to two seconds ahead of or behind the clock.
  if awk -v n="$samples" -v w="$recorded_ms" -v r="$SINE_RATE" 'BEGIN { s = n / r * 1000; exit !(s >= w - 2000 && s <= w + 3000) }'; then
    pass "$ext: decodes whole, $samples samples for $recorded_ms ms recorded"
  else
    fail "$ext: decodes $samples samples for $recorded_ms ms recorded"
  fi
  check_tone "$f"
  case $ext in
  wav) check_wav_closed "$f" ;;
  ogg) if ogg_closed "$f"; then pass "ogg: last page ends the stream"; else fail "ogg: no end-of-stream page"; fi ;;
  mp3)
    local frames
    frames=$(mp3_frames "$f")
    # The encoder's delay and padding stay within three frames of 1152 samples.
    if [ "$frames" -gt 0 ] && [ $((frames * 1152 - samples)) -ge -3456 ] && [ $((frames * 1152 - samples)) -le 3456 ]; then
      pass "mp3: header counts its $frames frames"
    else
      fail "mp3: header counts $frames frames for $samples samples"
    fi
    ;;
  wma)
    local d
    d=$(asf_duration "$f")
    if awk -v d="$d" -v n="$samples" -v r="$SINE_RATE" 'BEGIN { exit !(d + 0 > 0 && d - n / r < 0.2 && n / r - d < 0.2) }'; then
      pass "wma: header gives its duration ($d s)"
    else
      fail "wma: header duration '$d' for $samples samples"
    fi
    ;;
  esac
}

# Characteristics: MP3 "CBR 128 Kbps" (entry 5), WMA 64, Ogg quality 5,
# AAC 128 kbit/s (entry 118 of 10..500).
record_format 1 0 wav pcm_s16le "2026-04-01 08:30:00"
record_format 2 5 mp3 mp3 "2026-04-02 08:30:00"
record_format 3 64 wma wmav2 "2026-04-03 08:30:00"
record_format 4 5 ogg vorbis "2026-04-04 08:30:00"
record_format 5 118 aac aac "2026-04-05 08:30:00"
finish
