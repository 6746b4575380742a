#!/usr/bin/env bash
# Speed of the restoration chain against ffmpeg's afftdn and sox's noisered on the same 600 s of stereo
# 44.1 kHz speech over hiss and hum. Builds nothing: run it after building (OfflineChain is in the
# build folder's bench/). Each program runs in turn, round after round, pinned to one core; the
# two-thread lines use that core and the next one, in the host calls of 4096 samples that the
# application's exports make and in OfflineChain's usual 512; a last line has the chain bypassed.
#
#   bench/compare-speed.sh [build-folder]        (default: build)
#
# Environment: RUNS (rounds, default 5), CPU (the core, default 2), WORK (folder for the generated
# material, default $TMPDIR/tavlin-speed; kept between calls).
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-$here/../build}"
chain="$build/bench/OfflineChain"
runs="${RUNS:-5}"
cpu="${CPU:-2}"
cpu2="$((cpu + 1))"
work="${WORK:-${TMPDIR:-/tmp}/tavlin-speed}"
seconds=600

for tool in "$chain" espeak-ng sox ffmpeg taskset; do
  command -v "$tool" > /dev/null || { echo "missing: $tool" >&2; exit 1; }
done

mkdir -p "$work"
input="$work/speech600.wav"

if [ ! -s "$input" ]; then
  echo "making $input"
  text="Good evening. Tonight we look back at the river town where the old mill stood for more than a
century. The water still turns below the bridge, and on quiet mornings you can hear the bells from the
church across the valley. Most of the families who worked here have moved away, but a few still keep the
gardens along the bank, and every spring they gather to clean the paths and paint the benches."
  espeak-ng -s 155 -w "$work/v1.wav" "$text"
  espeak-ng -v en-us -s 140 -p 30 -w "$work/v2.wav" "$text"
  sox "$work/v1.wav" "$work/v2.wav" -r 44100 "$work/voice.wav"
  length="$(soxi -D "$work/voice.wav")"
  repeats="$(awk -v l="$length" -v s="$seconds" 'BEGIN { print int(s / l) + 1 }')"
  # 1.5 s of noise alone at the start, for learning the profile.
  sox "$work/voice.wav" "$work/long.wav" repeat "$repeats" pad 1.5 trim 0 "$seconds"
  sox -R -n -r 44100 -c 1 "$work/hissL.wav" synth "$seconds" whitenoise vol 0.02
  sox -R -n -r 44100 -c 1 "$work/hissR.wav" synth "$seconds" pinknoise vol 0.03
  sox -n -r 44100 -c 1 "$work/hum.wav" synth "$seconds" sine 50 vol 0.05
  sox -m "$work/long.wav" "$work/hissL.wav" "$work/hum.wav" "$work/L.wav"
  sox -m "$work/long.wav" "$work/hissR.wav" "$work/hum.wav" "$work/R.wav"
  sox -M "$work/L.wav" "$work/R.wav" -b 16 "$input"
  rm -f "$work"/v1.wav "$work"/v2.wav "$work"/voice.wav "$work"/long.wav "$work"/hiss?.wav "$work"/hum.wav \
    "$work"/L.wav "$work"/R.wav
fi

sox "$input" -n trim 0 1 noiseprof "$work/noise.prof" 2> /dev/null

now() { date +%s.%N; }

# Prints the multiple of real time of one run.
run_chain() { # cores, options...
  local cores="$1"
  shift
  taskset -c "$cores" "$chain" "$input" "$work/out.wav" --learn 0 1 "$@" |
    sed -n 's/.*chain time \([0-9.]*\) s.*/\1/p' | awk -v s="$seconds" '{ print s / $1 }'
}

run_timed() { # command...
  local start end
  start="$(now)"
  taskset -c "$cpu" "$@" > /dev/null 2>&1
  end="$(now)"
  awk -v s="$seconds" -v a="$start" -v b="$end" 'BEGIN { print s / (b - a) }'
}

declare -A results
names=(chain noise_reduction afftdn noisered chain_two_threads chain_two_threads_512 bypassed)

for ((round = 1; round <= runs; ++round)); do
  results[chain]+="$(run_chain "$cpu") "
  results[noise_reduction]+="$(run_chain "$cpu" --noise-reduction-only) "
  results[afftdn]+="$(run_timed ffmpeg -nostdin -v error -threads 1 -filter_threads 1 -i "$input" -af afftdn -f null -) "
  results[noisered]+="$(run_timed sox "$input" -n noisered "$work/noise.prof" 0.21) "
  results[chain_two_threads]+="$(run_chain "$cpu,$cpu2" --threads 2 --host-block 4096) "
  results[chain_two_threads_512]+="$(run_chain "$cpu,$cpu2" --threads 2) "
  results[bypassed]+="$(run_chain "$cpu" --set 11=1) "
  echo "round $round of $runs done" >&2
done

# best and median of a list of numbers
stats() { tr ' ' '\n' | sed '/^$/d' | sort -g | awk '{ v[NR] = $1 } END { m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%.1f %.1f\n", v[NR], m }'; }

declare -A best median

for name in "${names[@]}"; do
  read -r b m < <(echo "${results[$name]}" | stats)
  best[$name]="$b"
  median[$name]="$m"
done

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

echo
echo "600 s stereo 44.1 kHz speech with hiss and hum, $runs rounds, x real time as best / median"
printf '%-44s %7s / %7s\n' "program (one core unless said)" best median
printf '%-44s %7s / %7s\n' "Tavlin whole chain (OfflineChain)" "${best[chain]}" "${median[chain]}"
printf '%-44s %7s / %7s\n' "Tavlin noise reduction alone" "${best[noise_reduction]}" "${median[noise_reduction]}"
printf '%-44s %7s / %7s\n' "ffmpeg afftdn (one thread)" "${best[afftdn]}" "${median[afftdn]}"
printf '%-44s %7s / %7s\n' "sox noisered" "${best[noisered]}" "${median[noisered]}"
printf '%-44s %7s / %7s\n' "Tavlin whole chain on two threads" "${best[chain_two_threads]}" "${median[chain_two_threads]}"
printf '%-44s %7s / %7s\n' "  the same in host calls of 512 samples" "${best[chain_two_threads_512]}" "${median[chain_two_threads_512]}"
printf '%-44s %7s / %7s\n' "Tavlin bypassed" "${best[bypassed]}" "${median[bypassed]}"
echo
echo "Tavlin / afftdn, best / median:"
echo "  whole chain, one core:       $(ratio "${best[chain]}" "${best[afftdn]}") / $(ratio "${median[chain]}" "${median[afftdn]}")"
echo "  noise reduction, one core:   $(ratio "${best[noise_reduction]}" "${best[afftdn]}") / $(ratio "${median[noise_reduction]}" "${median[afftdn]}")"
echo "  whole chain, two threads:    $(ratio "${best[chain_two_threads]}" "${best[afftdn]}") / $(ratio "${median[chain_two_threads]}" "${median[afftdn]}")"
echo "    in host calls of 512:      $(ratio "${best[chain_two_threads_512]}" "${best[afftdn]}") / $(ratio "${median[chain_two_threads_512]}" "${median[afftdn]}")"
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
