#!/usr/bin/env bash
# Checks that every program the scripts and tests start comes from a package that one of our
# install steps lists (the packages=( ) lists of scripts/ and the extra names given to
# install-deps.sh) or that one of those depends on, or from Debian's essential and required
# base. A program installed by hand would otherwise pass here and fail on a fresh machine.
# Usage: check-programs.sh [repository], by default the one this script is in.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "${1:-$here/..}" && pwd)
words_awk=$here/command-words.awk

mapfile -t shell_files < <(
    find "$root/scripts" "$root/tests" -type f -name '*.sh' | sort
    [ -f "$root/.ci/run" ] && echo "$root/.ci/run"
)
mapfile -t source_files < <(find "$root/tests" -type f \( -name '*.cpp' -o -name '*.h' \) | sort)

# The packages our install steps list.
declare -A listed=()
while read -r name; do
    listed[$name]=1
done < <(
    {
        awk '/packages=\(/ { on = 1 } on { print } on && /\)/ { on = 0 }' "${shell_files[@]}" |
            sed 's/.*packages=(//; s/).*//'
        grep -ohE 'install-deps\.sh"?( +[a-z0-9][a-z0-9+.-]+)+' "${shell_files[@]}" |
            sed 's/^[^ ]* //'
    } | tr ' ' '\n' | grep -E '^[a-z0-9][a-z0-9+.-]+$'
)
[ ${#listed[@]} -gt 0 ] || { echo "check-programs: no package list found below $root" >&2; exit 1; }

# Shell functions, builtins and keywords are no programs.
declare -A internal=()
while read -r name; do
    internal[$name]=1
done < <(
    compgen -b
    compgen -k
    grep -ohE '^[[:space:]]*(function[[:space:]]+)?[A-Za-z_][A-Za-z0-9_-]*[[:space:]]*\(\)' \
        "${shell_files[@]}" | sed -E 's/^[[:space:]]*(function[[:space:]]+)?//; s/[[:space:]]*\(\)$//'
)

# word -> where it is started. Command words of scripts and program paths must be programs;
# the first words of a test's strings only may be, and count when they name one.
declare -A where=() required=()
note() {
    local word=$1 file=${2#"$root"/} must=$3
    [ -n "$word" ] && [ -z "${internal[$word]:-}" ] || return 0
    [[ "${where[$word]:-}" == *"$file"* ]] || where[$word]="${where[$word]:+${where[$word]}, }$file"
    [ "$must" = 1 ] && required[$word]=1
    return 0
}
while IFS=$'\t' read -r word file; do
    note "$word" "$file" 1
done < <(awk -f "$words_awk" "${shell_files[@]}")
# Programs kept in variables by their full path.
while IFS=: read -r file word; do
    [ -f "$word" ] && [ -x "$word" ] && note "$word" "$file" 1
done < <(grep -oHE '/usr/(s?bin|lib|libexec)/[A-Za-z0-9_./+-]+' "${shell_files[@]}" | sort -u)
# Command lines that tests build in strings, and the programs they spawn by name.
while IFS=$'\t' read -r word file; do
    note "$word" "$file" 0
done < <(grep -oHE '"([^"\\]|\\.)*"' "${source_files[@]}" | awk -v strings=1 -f "$words_awk")

# The program a name runs: the first executable of that name on PATH (no process per name).
find_program() {
    local dir
    program=""
    IFS=: read -r -a dirs <<<"$PATH"
    for dir in "${dirs[@]}"; do
        if [ -f "$dir/$1" ] && [ -x "$dir/$1" ]; then
            program=$dir/$1
            return
        fi
    done
}

# Each program's file, as dpkg may have recorded it (merged /usr, alternatives).
declare -A paths=()
failures=()
missing=()
for word in "${!where[@]}"; do
    if [[ "$word" == /* ]]; then
        [[ "$word" =~ ^/(usr|bin|sbin|opt)/ ]] || continue  # /proc/self/exe and the like
        path=$word
    elif [[ "$word" == */* ]]; then
        [ -e "$root/$word" ] && continue  # a script of ours
        path=""
    else
        find_program "$word"
        path=$program
    fi
    if [ -z "$path" ] || [ ! -f "$path" ] || [ ! -x "$path" ]; then
        [ -n "${required[$word]:-}" ] && missing+=("$word: started by ${where[$word]}")
        continue
    fi
    candidates=("$path" "$(readlink -f "$path")")
    for p in "${candidates[@]}"; do
        case $p in
        /usr/bin/* | /usr/sbin/*) candidates+=("${p#/usr}") ;;
        /bin/* | /sbin/*) candidates+=("/usr$p") ;;
        esac
    done
    paths[$word]="${candidates[*]}"
done

# Who owns each of those files, in one pass over dpkg's file lists (dpkg -S takes a minute for
# a hundred names).
declare -A owners=()
if [ ${#paths[@]} -gt 0 ]; then
    while IFS= read -r line; do
        list=${line%%:/*}
        package=${list##*/}
        package=${package%.list}
        file=${line#"$list":}
        owners[$file]="${owners[$file]:+${owners[$file]}, }${package%%:*}"
    done < <(printf '%s\n' ${paths[@]} | sort -u |
        grep -xF -f - /var/lib/dpkg/info/*.list || true)
fi

# Listed packages that are not installed yet: the Windows and fuzzing scripts install theirs
# when they run.
mapfile -t pending < <(comm -23 <(printf '%s\n' "${!listed[@]}" | sort) \
    <(dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' 2>/dev/null | awk '/^ii/ { print $2 }' | sort))

# What installing the listed packages brings: they and everything they depend on, as installed
# here, and the essential and required base. A virtual name stands for its providers. For the
# packages still to come, apt's view of what they will pull in (a program of a dependency left
# behind by an earlier install counts as theirs).
declare -A allowed=()
while read -r name; do
    allowed[$name]=1
done < <(
    dpkg-query -W -f='${db:Status-Abbrev}|${Package}|${Essential}|${Priority}|${Provides}|${Pre-Depends}, ${Depends}\n' |
        awk -F'|' -v roots="${!listed[*]}" -f "$here/package-closure.awk"
    if [ ${#pending[@]} -gt 0 ]; then
        apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
            --no-replaces --no-enhances "${pending[@]}" 2>/dev/null | grep -v '^ ' | tr -d '<>' || true
    fi
)

checked=0
for word in "${!paths[@]}"; do
    packages=""
    for p in ${paths[$word]}; do
        [ -n "${owners[$p]:-}" ] && packages="${owners[$p]}" && break
    done
    if [ -z "$packages" ]; then
        failures+=("$word: started by ${where[$word]}, but $(type -P "$word" || echo "$word") comes from no Debian package")
        continue
    fi
    ok=0
    IFS=', ' read -r -a list <<<"$packages"
    for package in "${list[@]}"; do
        [ -n "$package" ] && [ -n "${allowed[$package]:-}" ] && ok=1
    done
    if [ "$ok" = 1 ]; then
        checked=$((checked + 1))
    else
        failures+=("$word: started by ${where[$word]}, but its package ($packages) is neither listed by an install step nor needed by one that is")
    fi
done

# A program that is not there at all is a fault once every listed package is installed; before
# that (the Windows and fuzzing scripts install theirs when they run) it may be one of theirs.
if [ ${#missing[@]} -gt 0 ]; then
    if [ ${#pending[@]} -eq 0 ]; then
        for entry in "${missing[@]}"; do
            failures+=("$entry, but not installed (no install step lists its package)")
        done
    else
        printf 'check-programs: not installed yet: %s (listed packages still to come: %s)\n' \
            "${missing[*]}" "${pending[*]}"
    fi
fi

if [ ${#failures[@]} -gt 0 ]; then
    printf 'check-programs: %s\n' "${failures[@]}" | sort >&2
    exit 1
fi
echo "check-programs: $checked programs, each from a listed or base package"
