#!/usr/bin/env bash
# `cmake --install` of the build into a scratch prefix: the filter bank lies in the programs'
# private directory, in no directory the dynamic loader searches by itself, and the installed
# meter still finds it from any working directory; each program has its manual page, and the
# copyright and change log lie where Debian looks. Usage: install_layout_test.sh BUILD_DIR
set -euo pipefail
build=$1
scratch=$(mktemp -d /tmp/spectrino-install.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/prefix
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

cmake --install "$build" --prefix "$prefix" >"$scratch/install.log" 2>&1 ||
    { cat "$scratch/install.log" >&2; fail "cmake --install"; }

mapfile -t banks < <(cd "$prefix" && find . -name 'libtonebank.so*' | sed 's|^\./||')
[ ${#banks[@]} -eq 1 ] || fail "filter bank files: ${banks[*]:-none}"
dir=$(dirname "${banks[0]}")
echo "filter bank: $dir/libtonebank.so"
triplet=$(gcc -print-multiarch 2>/dev/null || true)
for searched in lib lib64 ${triplet:+lib/$triplet}; do
    [ "$dir" != "$searched" ] || fail "the filter bank is in $searched, which the loader searches"
done
[[ "$dir" == */spectrino ]] || fail "the filter bank is in $dir, no directory of ours"

for program in spectrino spectrino-meter; do
    # A build without the user interface has no analyzer.
    [ "$program" = spectrino-meter ] || [ -e "$build/bin/$program" ] || continue
    runpath=$(readelf -d "$prefix/bin/$program" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
    [[ ":$runpath:" == *":\$ORIGIN/../$dir:"* ]] || fail "$program has the run path \"$runpath\""
done
bands=$(cd / && env -u LD_LIBRARY_PATH "$prefix/bin/spectrino-meter" --bands) ||
    fail "the installed meter does not run from /"
grep -q '^74,1029\.' <<<"$bands" || fail "unexpected band table"

for page in spectrino spectrino-meter spectrino-reg; do
    file=$prefix/share/man/man1/$page.1.gz
    gzip -t "$file" 2>/dev/null || fail "no manual page $page.1.gz"
    for section in NAME SYNOPSIS OPTIONS FILES ENVIRONMENT EXAMPLES; do
        zcat "$file" | grep -q "^\.SH $section\$" || fail "$page.1 has no $section"
    done
    zcat "$file" | grep -q '@[A-Z_]*@' && fail "$page.1 has unreplaced placeholders"
done
doc=$prefix/share/doc/spectrino
[ -s "$doc/copyright" ] || fail "no copyright file"
zcat "$doc/changelog.gz" | head -1 | grep -q '^spectrino (' || fail "no change log"
echo "install_layout_test: 1 passed, 0 failed"
