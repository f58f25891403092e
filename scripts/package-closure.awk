# Reads dpkg-query lines "status|package|essential|priority|provides|pre-depends, depends" and
# prints the names reached from the packages in `roots` (space-separated) and from the
# essential and required base, through dependencies (every alternative) and providers.

function names(text, out,    n, parts, i, name) {
    gsub(/\([^)]*\)/, "", text)
    n = split(text, parts, /[,|]/)
    out[0] = 0
    for (i = 1; i <= n; i++) {
        name = parts[i]
        gsub(/[ \t]/, "", name)
        sub(/:.*/, "", name)
        if (name != "") {
            out[++out[0]] = name
        }
    }
}

$1 ~ /^ii/ {
    deps[$2] = $6
    if ($3 == "yes" || $4 == "required") {
        base[$2] = 1
    }
    names($5, provided)
    for (i = 1; i <= provided[0]; i++) {
        providers[provided[i]] = providers[provided[i]] " " $2
    }
}

END {
    n = split(roots, queue, " ")
    for (name in base) {
        queue[++n] = name
    }
    for (i = 1; i <= n; i++) {
        name = queue[i]
        if (name in seen) {
            continue
        }
        seen[name] = 1
        print name
        m = split(providers[name], alternatives, " ")
        for (j = 1; j <= m; j++) {
            queue[++n] = alternatives[j]
        }
        names(deps[name], found)
        for (j = 1; j <= found[0]; j++) {
            queue[++n] = found[j]
        }
    }
}
