#!/usr/bin/env bash
# Quality comparison of the restoration stages with peer tools, on programme-like material: speech
# from espeak-ng and a synthetic drum kit with plucked chords, each after one second of silence, with
# white noise, crackle, clicks, 50 Hz hum or hard clipping added, and clean through the enhancer.
# Prints one table:
#
#   material | tool | SNR gain | spectral distance | residual noise
#
# SNR gain: SNR of the result against the clean programme minus that of the damaged input. Spectral
# distance: mean log-spectral distance from the clean programme over its active frames (lower is
# closer). Residual noise: level of what differs from the clean programme in its pauses.
#
#   bench/quality.sh [BUILD_DIR]      (default: build; needs OfflineChain, QualityTool, SpeexDenoise)
#
# Needs espeak-ng, sox and ffmpeg (scripts/install-deps.sh installs them).
set -euo pipefail

here="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$here/build}" && pwd)"
chain="$build/bench/OfflineChain"
tool="$build/bench/QualityTool"
speex="$build/bench/SpeexDenoise"

for program in "$chain" "$tool" "$speex"; do
  if [[ ! -x "$program" ]]; then
    echo "missing $program: cmake --build $build --target OfflineChain QualityTool SpeexDenoise" >&2
    exit 1
  fi
done

for command in espeak-ng sox ffmpeg; do
  command -v "$command" > /dev/null || { echo "missing $command: run scripts/install-deps.sh" >&2; exit 1; }
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"

rate=44100

# Material: speech, resampled to 44.1 kHz, 1 s of silence first, peak 0.7 (-3.1 dBFS).
espeak-ng -w voice.wav "Restoration should never harm clean sound. The quick brown fox jumps over the \
lazy dog, while Peter Piper picked a peck of pickled peppers. Strong tea tastes better than weak \
coffee, and the cat sat quietly on the mat as it rained."
sox voice.wav -r "$rate" -b 32 -e floating-point speech.wav pad 1 0 gain -n -3.1
"$tool" music 12 "$rate" music.wav

ours() { # input output options...
  local input="$1" output="$2"
  shift 2
  "$chain" "$input" "$output" "$@" > /dev/null
}

speex_denoise() { # input output
  sox -V1 "$1" -t raw -e signed -b 16 -c 1 -r "$rate" in.raw
  "$speex" "$rate" < in.raw > out.raw
  sox -V1 -t raw -e signed -b 16 -c 1 -r "$rate" out.raw -b 32 -e floating-point "$2"
}

ffmpeg_filter() { # input output filter
  ffmpeg -v error -y -i "$1" -af "$3" -c:a pcm_f32le "$2"
}

row() { # material tool clean damaged processed
  "$tool" measure "$@"
}

echo "| material | tool | SNR gain | spectral distance | residual noise |"
echo "|---|---|---|---|---|"

for material in speech music; do
  clean="$material.wav"

  # Clean programme through the whole chain at its factory settings.
  ours "$clean" clean-ours.wav --no-learn --defaults
  row "$material, clean" "ours, whole chain at factory settings" "$clean" "$clean" clean-ours.wav

  # White noise 30 dB below the programme; the noise profiles come from the first 0.9 s.
  "$tool" damage noise 30 "$clean" noisy.wav
  ours noisy.wav noisy-ours.wav --learn 0 0.9 --defaults --set 7=0.5 --set 3=0.5
  row "$material, white noise -30 dB" "ours, noise reduction" "$clean" noisy.wav noisy-ours.wav
  sox -V1 noisy.wav -n trim 0 0.9 noiseprof noise.prof
  sox -V1 noisy.wav noisy-sox.wav noisered noise.prof 0.21
  row "$material, white noise -30 dB" "sox noisered" "$clean" noisy.wav noisy-sox.wav
  ffmpeg_filter noisy.wav noisy-afftdn.wav afftdn=nr=20:nf=-60:tn=1
  row "$material, white noise -30 dB" "ffmpeg afftdn" "$clean" noisy.wav noisy-afftdn.wav
  speex_denoise noisy.wav noisy-speex.wav
  row "$material, white noise -30 dB" "speexdsp denoiser" "$clean" noisy.wav noisy-speex.wav

  # Crackle (200 bursts a second) and clicks (2 a second).
  for damage in "crackle 200" "clicks 2"; do
    set -- $damage
    "$tool" damage "$1" "$2" "$clean" damaged.wav
    ours damaged.wav damaged-ours.wav --no-learn --defaults --set 0=0.5
    row "$material, $1" "ours, click/crackle 0.5" "$clean" damaged.wav damaged-ours.wav
    ffmpeg_filter damaged.wav damaged-adeclick.wav adeclick
    row "$material, $1" "ffmpeg adeclick" "$clean" damaged.wav damaged-adeclick.wav
  done

  # 50 Hz hum with two harmonics, 20 dB below the programme; the peer is three notches.
  "$tool" damage hum 20 "$clean" hum.wav
  ours hum.wav hum-ours.wav --no-learn --defaults --set 6=0
  row "$material, hum -20 dB" "ours, hum removal 50 Hz" "$clean" hum.wav hum-ours.wav
  ffmpeg_filter hum.wav hum-notch.wav \
    "bandreject=f=50:width_type=q:w=10,bandreject=f=100:width_type=q:w=10,bandreject=f=150:width_type=q:w=10"
  row "$material, hum -20 dB" "ffmpeg bandreject x3" "$clean" hum.wav hum-notch.wav

  # The enhancer changes clean sound on purpose: its row shows by how much.
  ours "$clean" enhanced.wav --no-learn --defaults --set 1=0.5
  row "$material, clean" "ours, enhancer 0.5 (preset 0)" "$clean" "$clean" enhanced.wav

  # Hard clipping 1, 3, 6 and 10 dB below the programme's peak.
  for db in 1 3 6 10; do
    "$tool" damage clip "$db" "$clean" clipped.wav
    ours clipped.wav clipped-ours.wav --no-learn --defaults --set 9=1
    row "$material, clipped $db dB" "ours, declipper" "$clean" clipped.wav clipped-ours.wav
    ffmpeg_filter clipped.wav clipped-adeclip.wav adeclip
    row "$material, clipped $db dB" "ffmpeg adeclip" "$clean" clipped.wav clipped-adeclip.wav
  done
done
