# Per-process figures for the measuring scripts; source this file.

# Fails unless every program $2... is built in $1/bin; the message names the calling script.
require_built() {
    local build=$1 program
    shift
    for program in "$@"; do
        [ -x "$build/bin/$program" ] || {
            echo "$(basename "$0" .sh): $build/bin/$program is missing; build it first" >&2
            exit 1
        }
    done
}

# Processor time (user + system) of process $1 in clock ticks: fields 14 and 15 of
# /proc/PID/stat, counted after the parenthesised name, which may hold spaces.
proc_cpu_ticks() {
    sed 's/.*) //' "/proc/$1/stat" | awk '{ print $12 + $13 }'
}

# Private dirty memory of process $1 in kB: the pages it has written itself, which unlike the
# resident size does not depend on how many others share its libraries.
proc_private_dirty_kb() {
    awk '/^Private_Dirty:/ { sum += $2 } END { print sum + 0 }' "/proc/$1/smaps_rollup"
}

# Seconds since the epoch, with fractions.
now_seconds() {
    date +%s.%N
}

# Share of one core in percent: ticks $1 to $2 over the wall time $3 to $4.
cpu_percent() {
    awk -v a="$1" -v b="$2" -v t0="$3" -v t1="$4" -v hz="$(getconf CLK_TCK)" \
        'BEGIN { printf "%.2f", 100 * (b - a) / hz / (t1 - t0) }'
}
