#!/usr/bin/env bash
# Peak memory and CPU load of the headless logger (lap-logger-cli) and of the
# desktop program's windows (bench-desktop-load, under Xvfb), each reading
# ant-stick-sim on a pseudo-terminal at 20 broadcasts a second.
#   bench/measure_programs.sh [build-dir]      (default: build/default)
set -euo pipefail

build=${1:-build/default}
for program in sim/ant-stick-sim cli/lap-logger-cli bench/bench-desktop-load ui/lap-logger; do
    if [[ ! -x "$build/$program" ]]; then
        echo "missing $build/$program: build the project first" >&2
        exit 1
    fi
done
work=$(mktemp -d)
stick_pid=""

stop_stick() {
    if [[ -n "$stick_pid" ]]; then
        kill -TERM "$stick_pid" 2>/dev/null || true
        wait "$stick_pid" 2>/dev/null || true
        stick_pid=""
    fi
}
cleanup() {
    stop_stick
    rm -rf "$work"
}
trap cleanup EXIT

# Starts the virtual stick with the given options; sets stick_path.
start_stick() {
    rm -f "$work/stick.path"
    mkfifo "$work/stick.path"
    "$build/sim/ant-stick-sim" --seed 1 "$@" >"$work/stick.path" 2>"$work/stick.err" &
    stick_pid=$!
    # The stick prints its terminal's path first; 10 s is far more than it takes.
    if ! read -r -t 10 stick_path <"$work/stick.path"; then
        echo "ant-stick-sim did not start:" >&2
        cat "$work/stick.err" >&2
        exit 1
    fi
}

echo "== headless logger: 20 broadcasts a second until 200 laps are complete"
# A lap every 0.3 s (six broadcasts) so 200 laps arrive within a minute.
start_stick --broadcast-rate 20 --lap-interval 0.3
/usr/bin/time -f "peak resident memory  %M KiB
CPU                   %U s user + %S s system over %e s" \
    "$build/cli/lap-logger-cli" --device "$stick_path" --no-log --laps 200 --duration 180 \
    >"$work/cli.out" 2>"$work/cli.time" || {
    echo "lap-logger-cli failed:" >&2
    cat "$work/cli.out" "$work/cli.time" >&2
    exit 1
}
echo "completed laps        $(grep -c ' complete CdA ' "$work/cli.out" || true)"
cat "$work/cli.time"
stop_stick

echo
echo "== desktop program's windows: 200 laps and full logs, 20 broadcasts a second"
# Laps come slowly here, as on a track: the load is the broadcasts, not new laps.
start_stick --broadcast-rate 20 --lap-interval 60
xvfb-run -a "$build/bench/bench-desktop-load" --device "$stick_path" --laps 200 --window 30 --settle 5
stop_stick

echo
echo "== desktop program (lap-logger) as started by a user, not connected: 8 s"
start_stick --broadcast-rate 20 --lap-interval 60
xvfb-run -a /usr/bin/time -f "peak resident memory  %M KiB (largest of lap-logger and its helpers)" \
    timeout -s TERM 8 "$build/ui/lap-logger" --device "$stick_path" >/dev/null 2>"$work/ui.time" || true
grep 'peak resident' "$work/ui.time" || cat "$work/ui.time"
stop_stick

echo
echo "== headless logger quitting with the stick open: SIGTERM to process end"
start_stick --broadcast-rate 20
mkfifo "$work/quit.out"
"$build/cli/lap-logger-cli" --device "$stick_path" --no-log >"$work/quit.out" &
cli_pid=$!
exec 3<"$work/quit.out"
while read -r -t 20 line <&3; do
    [[ "$line" == "Scanner opened." ]] && break
done
quit_start=$(date +%s.%N)
kill -TERM "$cli_pid"
closed_at=""
while read -r -t 20 line <&3; do
    [[ "$line" == "ANT Channel closed" ]] && closed_at=$(date +%s.%N)
done
wait "$cli_pid" || true
quit_end=$(date +%s.%N)
exec 3<&-
awk -v s="$quit_start" -v c="$closed_at" -v e="$quit_end" 'BEGIN {
    printf "quit, SIGTERM to exit  %.3f s\n", e - s
    if (c != "") printf "exit after the close   %.3f s\n", e - c }'
stop_stick
