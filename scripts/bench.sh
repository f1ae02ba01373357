#!/usr/bin/env bash
# Builds and runs the benchmarks under Wine and prints their tables.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"
# The benchmarks run in the tests' prefix, so one at a time with the tests.
run_locked tests "$@"

bash "$ROOT/scripts/build.sh"
export WINEPREFIX="$BUILD/wineprefix-tests"
. "$ROOT/scripts/wine-env.sh"
prepare_wine_session 98
# The native reference encodes run on this machine in the same run; the
# benchmark leaves its frame as a PPM there and reads their time back.
export SNAPWELL_BENCH_DIR="$BUILD/bench/work"
mkdir -p "$SNAPWELL_BENCH_DIR"
"$WINE" "$BUILD/bench/image_bench.exe"
# The options dialog on a 5,000-entry document.
"$WINE" "$BUILD/bench/options_bench.exe"

# The JPEG writer against native libjpeg-turbo encodes of the same frame at
# the same quality and subsampling, measured in this run: cjpeg (best of
# five runs of the whole program, reading the PPM from the page cache
# included) and tjbench (the encode alone, in memory).
frame="$SNAPWELL_BENCH_DIR/frame.ppm"
writer_ms="$(cat "$SNAPWELL_BENCH_DIR/jpeg-writer-ms.txt" 2>/dev/null || echo -1)"
if [ ! -f "$frame" ] || [ "${writer_ms%%.*}" = "-1" ]; then
    say "the benchmark left no frame for the native JPEG comparison"
    exit 1
fi
best=""
for _ in 1 2 3 4 5; do
    start=$(date +%s%N)
    cjpeg -quality 75 -outfile /dev/null "$frame"
    end=$(date +%s%N)
    ms=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", (b - a) / 1e6 }')
    if [ -z "$best" ] || awk -v m="$ms" -v b="$best" 'BEGIN { exit !(m < b) }'; then best=$ms; fi
done
# tjbench -quiet prints a row: format, (TD), subsampling, quality, width, height,
# compression speed in Mpixels/s, ...
encode_ms=$(cd "$SNAPWELL_BENCH_DIR" && tjbench frame.ppm 75 -rgb -subsamp 420 -quiet -componly -nowrite \
    -benchtime 2 -warmup 0.5 2>/dev/null | awk '$4 == "75" { printf "%.3f", $5 * $6 / $7 / 1000 }')
awk -v w="$writer_ms" -v c="$best" -v t="${encode_ms:-0}" 'BEGIN {
    printf "\nJPEG quality 75, 4:2:0, same frame:\n"
    printf "  Snapwell writer under Wine      %8.2f ms\n", w
    printf "  native cjpeg, whole program     %8.2f ms   ratio %.2f (goal: at most 1.5)\n", c, w / c
    if (t > 0) printf "  native tjbench, encode alone    %8.2f ms   ratio %.2f\n", t, w / t
}'

# The PNG writer (best of five encodes into memory) against a native encode
# of the same frame at the same zlib level, measured in this run: Python's
# PIL (Debian's python3-pil, run by the system's Python) at compress_level 6
# with its adaptive filtering, the encode alone in memory, best of five.
png_ms=-1 png_bytes=0 png_threads=0
read -r png_ms png_bytes png_threads < "$SNAPWELL_BENCH_DIR/png-writer.txt" 2>/dev/null || true
if [ "${png_ms%%.*}" = "-1" ]; then
    say "the benchmark left no PNG writer time for the native PNG comparison"
    rm -f "$frame"
    exit 1
fi
read -r pil_ms pil_bytes < <(/usr/bin/python3 - "$frame" <<'PY'
import io, sys, time
from PIL import Image
frame = Image.open(sys.argv[1])
frame.load()
best, size = None, 0
for _ in range(5):
    out = io.BytesIO()
    start = time.perf_counter()
    frame.save(out, "PNG", compress_level=6)
    elapsed = time.perf_counter() - start
    best = elapsed if best is None else min(best, elapsed)
    size = out.tell()
print("%.3f %d" % (best * 1e3, size))
PY
)
rm -f "$frame"
awk -v w="$png_ms" -v wb="$png_bytes" -v n="$png_threads" -v p="$pil_ms" -v pb="$pil_bytes" 'BEGIN {
    printf "\nPNG at zlib level 6 with adaptive filtering, same frame (cores: %d, writer threads: %d):\n", '"$(nproc)"', n
    printf "  Snapwell writer under Wine      %8.2f ms %10d bytes\n", w, wb
    printf "  native PIL, encode alone        %8.2f ms %10d bytes\n", p, pb
    printf "  ratio                           %8.2f (goal: at most 0.6) %5.3f (goal: at most 1.02)\n", w / p, wb / pb
}'

# How soon the rectangle-capture overlay is on screen after its hot key, at
# two screen sizes: this display, then a 3840 x 2160 Xvfb with a prefix of
# its own, whose virtual desktop takes that size. The program prints its
# numbers and why a part could not be measured; this says where.
overlay_failures=()
run_overlay_bench() {
    local size load
    size="$(xdotool getdisplaygeometry 2>/dev/null | tr ' ' x || true)"
    # Other work on the machine shows in every number; the load says how much.
    read -r load _ < /proc/loadavg || load="?"
    echo "(load average over the last minute: $load, on $(nproc) cores)"
    if ! "$WINE" "$BUILD/bench/overlay_bench.exe"; then
        overlay_failures+=("${size:-unknown size} (display $DISPLAY, prefix $WINEPREFIX)")
    fi
    # The markup window over a 3840 x 2160 capture on the same screen.
    if ! "$WINE" "$BUILD/bench/markup_bench.exe"; then
        overlay_failures+=("the markup window at ${size:-unknown size} (display $DISPLAY)")
    fi
}

# An Xvfb of that size on :N, started when there is none; false, with the
# reason, when :N answers with another size or does not start.
start_sized_display() {
    local n=$1 size=$2 lock="/tmp/.X$1-lock" shown
    if [ -f "$lock" ] && ! kill -0 "$(tr -d ' ' < "$lock")" 2>/dev/null; then
        rm -f "$lock" "/tmp/.X11-unix/X$n"
    fi
    if [ ! -f "$lock" ]; then
        (setsid Xvfb ":$n" -screen 0 "${size}x24" -nolisten tcp </dev/null >/dev/null 2>&1 &)
    fi
    for _ in $(seq 100); do [ -S "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
    shown="$(DISPLAY=":$n" xdotool getdisplaygeometry 2>/dev/null | tr ' ' x || true)"
    if [ "$shown" != "$size" ]; then
        say "display :$n is ${shown:-not answering}, not $size: end that X server or set" \
            "SNAPWELL_BENCH_4K_DISPLAY to a free display number"
        return 1
    fi
    export DISPLAY=":$n"
}

echo
run_overlay_bench
large_display="${SNAPWELL_BENCH_4K_DISPLAY:-95}"
export WINEPREFIX="$BUILD/wineprefix-bench4k"
if ! start_sized_display "$large_display" 3840x2160; then
    overlay_failures+=("3840x2160 (no display)")
elif ! prepare_wine_session "$large_display"; then
    say "the Wine session of $WINEPREFIX on :$large_display could not be prepared"
    overlay_failures+=("3840x2160 (no Wine session)")
else
    run_overlay_bench
fi
if [ ${#overlay_failures[@]} -gt 0 ]; then
    say "the overlay benchmark could not measure everything at: ${overlay_failures[*]}"
    exit 1
fi
