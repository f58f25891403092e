#!/usr/bin/env bash
# scripts/check-programs.sh on scratch copies of the repository: it passes on the tree as it is,
# and fails when the package a script's program comes from drops out of the install lists, or
# when a script starts a program that nothing installs.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
scratch=$(mktemp -d /tmp/spectrino-programs.XXXXXX)
trap 'rm -rf "$scratch"' EXIT

# A copy of what the check reads, with `edit` (a sed script) applied to file $2.
copy() {
    local dir=$scratch/$1
    mkdir -p "$dir/.ci"
    cp -r "$root/scripts" "$root/tests" "$dir/"
    cp "$root/.ci/run" "$dir/.ci/"
    [ -z "${2:-}" ] || sed -i "$3" "$dir/$2"
    echo "$dir"
}
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

tree=$(copy as-is)
"$tree/scripts/check-programs.sh" >"$scratch/out" 2>&1 || { cat "$scratch/out"; fail "the tree as it is"; }

tree=$(copy no-x11-apps scripts/install-deps.sh 's/ x11-apps / /')
grep -q x11-apps "$tree/scripts/install-deps.sh" && fail "x11-apps still listed"
if "$tree/scripts/check-programs.sh" >"$scratch/out" 2>&1; then
    cat "$scratch/out"
    fail "xwd passed without x11-apps in the list"
fi
grep -q '^check-programs: xwd: .*(x11-apps)' "$scratch/out" || { cat "$scratch/out"; fail "no word of xwd"; }

tree=$(copy unknown-tool scripts/with-tone.sh 's/^"\$@"$/spectrino-no-such-tool --version \&\& "$@"/')
grep -q '^spectrino-no-such-tool' "$tree/scripts/with-tone.sh" || fail "the scratch edit did not apply"
status=0
"$tree/scripts/check-programs.sh" >"$scratch/out" 2>&1 || status=$?
# Until the Windows and fuzzing packages are in, a missing program is only reported.
if grep -q "not installed yet:.*spectrino-no-such-tool" "$scratch/out"; then
    [ "$status" -eq 0 ] || { cat "$scratch/out"; fail "a note that failed"; }
else
    [ "$status" -ne 0 ] && grep -q '^check-programs: spectrino-no-such-tool: .*not installed' \
        "$scratch/out" || { cat "$scratch/out"; fail "a program that nothing installs passed"; }
fi
echo "check_programs_test: 3 passed, 0 failed"
