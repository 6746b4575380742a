#!/usr/bin/env bash
# Saving a 10-minute 1080p movie with noise reduction: Tavlin (SaveMedia, the application's own open and
# save) beside the ffmpeg tool copying the picture and denoising the sound with afftdn into AAC. The two run
# in turns on the same pinned cores, so load on the machine falls on both; prints the medians and the ratio.
#
#   bench/save-vs-ffmpeg.sh [build-folder] [rounds]
#
# Environment: CORES (taskset list, default 2,3; both programs get the same cores: the save renders and
# encodes on threads of their own, the ffmpeg tool decodes, filters and encodes in turn, its afftdn split
# over the channels), WORK (folder for the movie and the copies, default $TMPDIR/tavlin-save-bench; the movie
# is made once and kept there). Besides the times it prints each program's processor time and the most
# threads it had, so what each made of the cores shows.

set -euo pipefail

build=${1:-build}
rounds=${2:-3}
cores=${CORES:-2,3}
work=${WORK:-${TMPDIR:-/tmp}/tavlin-save-bench}
save_media="$build/bench/SaveMedia"
movie="$work/movie-10min-1080p.mp4"

if [[ ! -x "$save_media" ]]; then
    echo "no $save_media: build the project first (cmake --build $build)" >&2
    exit 2
fi

mkdir -p "$work"

if [[ ! -s "$movie" ]]; then
    echo "making $movie (once)..."
    # A moving test picture; speech-band tones over pink noise and hum, as a noisy recording.
    ffmpeg -nostdin -v error -y \
        -f lavfi -i "testsrc2=size=1920x1080:rate=25:duration=600" \
        -f lavfi -i "anoisesrc=color=pink:amplitude=0.08:sample_rate=48000:duration=600:seed=7" \
        -f lavfi -i "aevalsrc=0.2*sin(2*PI*220*t)*(0.5+0.5*sin(2*PI*0.7*t))+0.05*sin(2*PI*50*t)|0.2*sin(2*PI*330*t)*(0.5+0.5*sin(2*PI*0.9*t))+0.05*sin(2*PI*50*t):s=48000:d=600" \
        -filter_complex "[1:a]aformat=channel_layouts=stereo[n];[n][2:a]amix=inputs=2:normalize=0[a]" \
        -map 0:v -map "[a]" -c:v libx264 -preset ultrafast -crf 30 -c:a aac -b:a 192k "$movie.partial.mp4"
    mv "$movie.partial.mp4" "$movie"
fi

now() { date +%s.%N; }

# Runs a command and prints "seconds cpu-seconds threads": its wall time, the processor time of all its
# threads, and the most threads it had at once (sampled every 50 ms).
measure() {
    local log="$work/time.txt" peak=0 n
    /usr/bin/time -f '%e %U %S' -o "$log" "$@" >"$work/out.txt" &
    local pid=$!

    while kill -0 "$pid" 2>/dev/null; do
        for task in /proc/"$pid"/task /proc/"$(pgrep -P "$pid" | head -1 || true)"/task; do
            n=$( (ls "$task" 2>/dev/null || true) | wc -l)
            if ((n > peak)); then peak=$n; fi
        done
        sleep 0.05
    done

    wait "$pid"
    awk -v peak="$peak" '{ printf "%s %.2f %d\n", $1, $2 + $3, peak }' "$log"
}

tavlin_save=() tavlin_whole=() ffmpeg_times=() tavlin_cpu=() ffmpeg_cpu=()
tavlin_threads=0 ffmpeg_threads=0

for ((round = 1; round <= rounds; ++round)); do
    # Noise reduction on at half amount, profile learned from the first second.
    read -r _ cpu threads < <(measure taskset -c "$cores" "$save_media" "$movie" "$work/tavlin-copy.mp4" \
        --format 1 --set 7=0.5 --set 3=0.5 --learn 0 1)
    out=$(cat "$work/out.txt")
    save=$(awk '$1 == "save" { print $2 }' <<<"$out")
    whole=$(awk '$1 != "settle" { t += $2 } END { print t }' <<<"$out")
    tavlin_save+=("$save")
    tavlin_whole+=("$whole")
    tavlin_cpu+=("$cpu")
    if ((threads > tavlin_threads)); then tavlin_threads=$threads; fi

    read -r wall cpu threads < <(measure taskset -c "$cores" ffmpeg -nostdin -v error -y -i "$movie" -c:v copy \
        -af afftdn -c:a aac -b:a 256k "$work/ffmpeg-copy.mp4")
    ffmpeg_times+=("$wall")
    ffmpeg_cpu+=("$cpu")
    if ((threads > ffmpeg_threads)); then ffmpeg_threads=$threads; fi

    printf 'round %d: Tavlin save %.2f s (open, analysis and save %.2f s; %.2f s of processor time in all), ffmpeg %.2f s (%.2f s of processor time)\n' \
        "$round" "$save" "$whole" "${tavlin_cpu[-1]}" "$wall" "$cpu"
done

median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

ts=$(median "${tavlin_save[@]}")
tw=$(median "${tavlin_whole[@]}")
ff=$(median "${ffmpeg_times[@]}")
printf 'medians on cores %s: Tavlin save %.2f s, with open and analysis %.2f s; ffmpeg %.2f s\n' "$cores" "$ts" "$tw" "$ff"
printf 'threads at most: Tavlin %d, ffmpeg %d; processor time (median): Tavlin %.2f s for open, analysis and save, ffmpeg %.2f s, so ffmpeg kept %.2f cores busy on average\n' \
    "$tavlin_threads" "$ffmpeg_threads" "$(median "${tavlin_cpu[@]}")" "$(median "${ffmpeg_cpu[@]}")" \
    "$(echo "$(median "${ffmpeg_cpu[@]}") / $ff" | bc -l)"
printf 'ratio Tavlin save / ffmpeg: %.2f (with open and analysis: %.2f)\n' "$(echo "$ts / $ff" | bc -l)" \
    "$(echo "$tw / $ff" | bc -l)"
