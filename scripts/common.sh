# Sourced first by every script. A failing step names itself, and the steps
# that two runs at the same time must not share (the set-up, the build, one
# Wine prefix) are taken one run at a time.
ROOT="${ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"
BUILD="${SNAPWELL_BUILD:-$ROOT/build}"

say() { printf '[%s] %s\n' "$(basename "$0" .sh)" "$*" >&2; }

# Any command that fails under set -e says where and what before the script
# ends, so a failure is never silent.
report_failure() {
    local status=$1 line=$2 command=$3
    say "failed (exit $status) at $(basename "$0"):$line: $command"
}
set -E
trap 'report_failure $? $LINENO "$BASH_COMMAND"' ERR

# Runs the rest of the calling script under an exclusive lock named NAME:
# a second run at the same time waits for the first instead of building or
# testing over it. The lock is held by flock itself, not by the script, so
# the Wine server and the other programs the script leaves running for a
# while do not keep it. Call as: run_locked NAME "$@"
run_locked() {
    local name=$1 var="SNAPWELL_LOCKED_$1" file
    shift
    [ -n "${!var:-}" ] && return 0
    mkdir -p "$BUILD"
    file="$BUILD/.$name.lock"
    flock -n "$file" true || say "another run holds $file; waiting for it"
    export "$var=1"
    exec flock -o "$file" bash "$0" "$@"
}
