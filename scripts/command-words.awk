# Prints the words that bash scripts run as commands, one "word<TAB>file" per line: the first
# word of every simple command, also inside $( ), ( ), { } and after |, &&, ||, ; and &.
# Assignments, redirections, quoted text, arrays, ${ } and $(( )) are passed over; a command
# word with a quote or an expansion in it is left out (a program named by a variable is one of
# ours). With -v strings=1 every input line is file:"text" (as grep -oH prints it): the text of
# one string literal, taken as a command line on its own (the ones a test builds in a string).
# Good enough for this repository's scripts; it is no full shell parser.

function emit(word) {
    if (word == "" || word ~ /^[0-9]+$/ || word ~ /^-/) {
        return
    }
    print word "\t" source
}

# Handles one finished word at nesting level `d`.
function finish_word(d,    w) {
    w = word
    word = ""
    if (w != "" && target[d]) {
        target[d] = 0
        return
    }
    if (w == "in" && incase[d] == 1) {
        incase[d] = 2  # the patterns follow
        return
    }
    if (w == "" || !cmd[d]) {
        skipnext[d] = 0
        return
    }
    if (skipnext[d]) {
        # timeout's options, signal and duration; then comes the command.
        if (w ~ /^-/ || w ~ /^[0-9.]+[smhd]?$/ || w ~ /^[A-Z0-9]+$/) {
            return
        }
        skipnext[d] = 0
    }
    if (w ~ /^[A-Za-z_][A-Za-z0-9_]*(\[[^]]*\])?\+?=/) {
        return  # assignment before a command
    }
    if (w ~ /^(!|\{|if|then|else|elif|do|while|until|time|exec|command|nohup|env|\$sudo|sudo)$/) {
        return
    }
    if (w == "timeout") {
        emit(w)
        skipnext[d] = 1
        return
    }
    if (w == "case") {
        incase[d] = 1
    }
    if (w ~ /^(for|case|select|function|\[\[)$/) {
        cmd[d] = 0
        if (w == "[[") {
            intest[d] = 1
        }
        return
    }
    if (w == "esac") {
        incase[d] = 0
    }
    if (w ~ /^(fi|done|esac|\}|\]\])$/) {
        cmd[d] = 0
        return
    }
    cmd[d] = 0
    if (w ~ /\$/) {
        return  # a program named by a variable: one of ours or checked where it is set
    }
    emit(w)
}

# Enters $( ) or ( ): a new command line, the word around it is kept for after it.
function push_code(kind) {
    outer_word[depth] = word
    word = ""
    depth++
    mode[depth] = kind
    cmd[depth] = 1
    intest[depth] = 0
    incase[depth] = 0
    skipnext[depth] = 0
    target[depth] = 0
}

function separator(d) {
    finish_word(d)
    target[d] = 0
    if (!intest[d]) {
        cmd[d] = 1
    }
}

function reset() {
    depth = 0
    mode[0] = "top"
    cmd[0] = 1
    intest[0] = 0
    incase[0] = 0
    skipnext[0] = 0
    target[0] = 0
    word = ""
}

FNR == 1 && !strings {
    source = FILENAME
    reset()
}

{
    line = $0
    if (strings) {
        cut = index(line, ":\"")
        source = substr(line, 1, cut - 1)
        line = substr(line, cut + 2, length(line) - cut - 2)
        reset()
    }
    # A line that ends in a backslash goes on.
    while (!strings && line ~ /\\$/ && (getline next_line) > 0) {
        line = substr(line, 1, length(line) - 1) " " next_line
    }
    n = length(line)
    for (i = 1; i <= n; i++) {
        c = substr(line, i, 1)
        two = substr(line, i, 2)
        m = mode[depth]
        if (m == "substitution" || m == "subshell") {
            m = "code"
        }
        if (m == "sq") {
            if (c == "'") {
                depth--
            }
            continue
        }
        if (m == "array") {
            if (c == ")") {
                depth--
            } else if (c == "\"" || c == "'") {
                depth++
                mode[depth] = c == "'" ? "sq" : "dq"
            }
            continue
        }
        if (m == "dq") {
            if (c == "\\") {
                i++
            } else if (c == "\"") {
                depth--
            } else if (two == "$(" && substr(line, i, 3) != "$((") {
                push_code("substitution")
                i++
            } else if (two == "${") {
                i = skip_braces(line, i + 1)
            }
            continue
        }
        # code
        if (c == "`") {
            continue
        }
        if (c == "#" && word == "") {
            break
        }
        if (c == "\\") {
            word = word substr(line, i + 1, 1)
            i++
            continue
        }
        if (c == "'") {
            word = word "$"
            depth++
            mode[depth] = "sq"
            continue
        }
        if (c == "\"") {
            # Quoted text is part of the word; mark it so it is never taken as a program.
            word = word "\"$"
            depth++
            mode[depth] = "dq"
            continue
        }
        if (incase[depth] == 2 && word == "esac" && c ~ /[ \t;|&)]/) {
            word = ""
            incase[depth] = 0
            cmd[depth] = 0
        }
        if (incase[depth] == 2) {
            # A case pattern, up to its ")".
            if (c == ")") {
                word = ""
                incase[depth] = 3
                cmd[depth] = 1
            } else if (c == " " || c == "\t" || c == "|") {
                word = ""
            } else {
                word = word c
            }
            continue
        }
        if (intest[depth]) {
            # Inside [[ ]] parentheses, | and the like are patterns, not commands.
            if (two == "]]") {
                word = ""
                intest[depth] = 0
                cmd[depth] = 0
                i++
            } else if (c == " " || c == "\t") {
                word = ""
            } else if (two == "$(") {
                push_code("substitution")
                i++
            } else {
                word = word c
            }
            continue
        }
        if (substr(line, i, 3) == "$((") {
            i = skip_parens(line, i + 1)
            word = word "$"
            continue
        }
        if (two == "$(") {
            word = word "$"
            push_code("substitution")
            i++
            continue
        }
        if (two == "${") {
            i = skip_braces(line, i + 1)
            word = word "$"
            continue
        }
        if (c == "(") {
            if (word ~ /=$/) {
                word = ""
                depth++
                mode[depth] = "array"
                continue
            }
            if (substr(line, i + 1, 1) == ")") {
                word = ""  # a function definition
                i++
                cmd[depth] = 1
                continue
            }
            if (two == "((") {
                i = skip_parens(line, i)
                continue
            }
            finish_word(depth)
            target[depth] = 0  # <( ) is no file name
            push_code("subshell")
            continue
        }
        if (c == ")") {
            finish_word(depth)
            if (depth > 0) {
                depth--
                word = outer_word[depth]
                if (mode[depth + 1] == "subshell") {
                    cmd[depth] = 0
                }
            }
            continue
        }
        if (c == ">" || c == "<") {
            if (word ~ /^[0-9]+$/) {
                word = ""  # the stream number
            }
            finish_word(depth)
            # The redirection's target follows; "<<<" and ">&" included.
            while (substr(line, i + 1, 1) ~ /[<>&]/) {
                i++
            }
            target[depth] = 1
            continue
        }
        if (c == " " || c == "\t") {
            finish_word(depth)
            continue
        }
        if (c == ";" || c == "|" || c == "&") {
            separator(depth)
            if (two == ";;" && incase[depth] == 3) {
                incase[depth] = 2
            }
            if (two == "&&" || two == "||" || two == ";;") {
                i++
            }
            continue
        }
        word = word c
    }
    if (incase[depth] == 2 && word != "esac") {
        word = ""
    } else if (mode[depth] != "dq" && mode[depth] != "sq" && mode[depth] != "array") {
        separator(depth)
    }
}

# Index of the brace that closes the one at `start`.
function skip_braces(text, start,    level, k, ch) {
    level = 0
    for (k = start; k <= length(text); k++) {
        ch = substr(text, k, 1)
        if (ch == "{") {
            level++
        } else if (ch == "}") {
            if (--level == 0) {
                return k
            }
        }
    }
    return length(text)
}

# Index of the parenthesis that closes the one at `start`, counting nested ones.
function skip_parens(text, start,    level, k, ch) {
    level = 0
    for (k = start; k <= length(text); k++) {
        ch = substr(text, k, 1)
        if (ch == "(") {
            level++
        } else if (ch == ")") {
            if (--level == 0) {
                return k
            }
        }
    }
    return length(text)
}
