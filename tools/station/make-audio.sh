#!/usr/bin/env bash
# Makes the local station's audio: one short synthesised piece per song of the playlist, each
# exactly as long as the song's "length" and made by the recipe named in its "sound", joined in
# playlist order into one MP3 (CBR 192 kbit/s, 44.1 kHz, stereo) that the station plays in a loop.
# The same playlist gives the same bytes: sox draws its noise and dither from a fixed seed (-R).
# The MP3 has no bit reservoir (--nores): every frame decodes on its own, so the station's source
# can start at any frame and join the loop's end to its start without a glitch.
# Usage: tools/station/make-audio.sh PLAYLIST.json OUTPUT.mp3
set -euo pipefail

playlist=${1:?usage: make-audio.sh PLAYLIST.json OUTPUT.mp3}
output=${2:?usage: make-audio.sh PLAYLIST.json OUTPUT.mp3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

RATE=44100
# sox writing a mono 16-bit file at the station's rate; the rest of the arguments follow.
synth() { sox -R -n -r "$RATE" -c 1 -b 16 "$@"; }

# Joins the notes named in $@ (each lasting $NOTE seconds, made by note_file) into one file.
notes() {
  local out=$1 i=0 files=()
  shift
  for n in "$@"; do
    note_file "$work/n$i.wav" "$n"
    files+=("$work/n$i.wav")
    i=$((i + 1))
  done
  sox -R "${files[@]}" "$out"
  rm -f "${files[@]}"
}

# A slow A minor chord of sines breathing with a slow tremolo.
sound_pad() {
  synth "$1" synth "$2" sine A2 sine mix E3 sine mix A3 sine mix C4 sine mix E4 tremolo 0.2 40
}

# A plucked arpeggio over C, Am, F and G, eighth notes at 120 beats a minute.
sound_arpeggio() {
  NOTE=0.25
  note_file() { synth "$1" synth "$NOTE" pluck "$2"; }
  notes "$work/cycle.wav" C4 E4 G4 C5 G4 E4 G4 E4 A3 C4 E4 A4 E4 C4 E4 C4 \
    F3 A3 C4 F4 C4 A3 C4 A3 G3 B3 D4 G4 D4 B3 D4 B3
  sox -R "$work/cycle.wav" "$1" repeat 10 trim 0 "$2"
}

# A train: brown-noise chugs in a steady beat over a low drone on D.
sound_train() {
  synth "$work/chug.wav" synth 0.1 brownnoise fade q 0.005 0.1 0.07 pad 0 0.2
  sox -R "$work/chug.wav" "$work/chugs.wav" repeat 250 trim 0 "$2" vol 0.8
  synth "$work/drone.wav" synth "$2" triangle D2 sine mix A2 vol 0.5
  sox -R -m "$work/chugs.wav" "$work/drone.wav" "$1"
}

# Bells: a falling pentatonic line of decaying sines, one a second, in a reverberant room.
sound_bells() {
  NOTE=1
  note_file() { synth "$1" synth "$NOTE" sine "$2" sine mix "%$(($(note_number "$2") + 12))" \
    fade l 0.005 "$NOTE" 0.95; }
  notes "$work/cycle.wav" E5 D5 B4 A4 G4 E4 G4 A4
  sox -R -V1 "$work/cycle.wav" "$1" repeat 5 reverb 40 trim 0 "$2"
}
# Semitones of a note name from A4, as sox counts them in "%N".
note_number() {
  local name=${1%?} octave=${1: -1}
  local -A step=([C]=-9 [D]=-7 [E]=-5 [F]=-4 [G]=-2 [A]=0 [B]=2)
  echo $((step[$name] + (octave - 4) * 12))
}

# A D major chord of triangle waves swelling in and out every ten seconds.
sound_swell() {
  synth "$1" synth "$2" triangle D3 triangle mix F#3 triangle mix A3 sine mix D4 tremolo 0.1 80
}

# The songs' recipes and lengths, one "sound length" line each, in playlist order.
mapfile -t songs < <(python3 - "$playlist" <<'EOF'
import json, sys
for song in json.load(open(sys.argv[1], encoding="utf-8"))["songs"]:
    print(song["sound"], int(song["length"]))
EOF
)
[ ${#songs[@]} -gt 0 ] || { echo "make-audio: no songs in $playlist" >&2; exit 1; }

pieces=()
total=0
for i in "${!songs[@]}"; do
  read -r sound length <<<"${songs[$i]}"
  declare -F "sound_$sound" >/dev/null || { echo "make-audio: unknown sound '$sound'" >&2; exit 1; }
  "sound_$sound" "$work/raw.wav" "$length"
  # Same loudness for every piece, short fades against clicks at the joins, exact length, stereo.
  sox -R "$work/raw.wav" -c 2 "$work/piece$i.wav" norm -3 trim 0 "$length" \
    fade t 0.02 "$length" 0.02
  rm -f "$work/raw.wav"
  pieces+=("$work/piece$i.wav")
  total=$((total + length))
done

sox -R "${pieces[@]}" "$work/loop.wav"
samples=$(soxi -s "$work/loop.wav")
if [ "$samples" -ne $((total * RATE)) ]; then
  echo "make-audio: loop has $samples samples, expected $((total * RATE))" >&2
  exit 1
fi
lame --quiet --cbr -b 192 --nores "$work/loop.wav" "$work/loop.mp3"
mv "$work/loop.mp3" "$output"
