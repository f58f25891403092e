# Shell functions that drive the Windows analyzer under Wine as a user would: its settings in the
# Wine registry, its window found among the X windows, its caption, a close as from the window
# menu, screenshots checked with shot_check of the Linux build. Sourced by the Windows
# end-to-end scripts, which set beforehand:
#   wine     the wine64 loader         key       the settings key (HKCU\...)
#   shots    screenshot directory      build     the Linux build (bin/shot_check)
#   app_dir  directory to start in     app_exe   the program, relative to app_dir or a Windows path
# and define fail MESSAGE (prints and exits).

reg_set() {  # name type value
    "$wine" reg add "$key" /v "$1" /t "$2" /d "$3" /f >/dev/null 2>&1 || fail "reg add $1"
}
reg_get() {  # name -> the value as reg query prints it
    "$wine" reg query "$key" /v "$1" 2>/dev/null | tr -d '\r' |
        awk -v name="$1" '$1 == name { $1 = ""; $2 = ""; sub(/^  */, ""); print; exit }'
}

# Starts the program with the given arguments and waits for its window; sets $app and $window.
app=""
window=""
start_analyzer() {
    (cd "$app_dir" && exec "$wine" "$app_exe" "$@") >"$shots/spectrino.log" 2>&1 &
    app=$!
    window=""
    for _ in $(seq 300); do
        window=$(xwininfo -root -tree 2>/dev/null | awk '/"Spectrino( \[.*\])?": \("spectrino.exe"/ { print $1; exit }')
        [ -n "$window" ] && break
        kill -0 "$app" 2>/dev/null || { cat "$shots/spectrino.log" >&2; fail "spectrino.exe ended"; }
        sleep 0.1
    done
    [ -n "$window" ] || fail "no analyzer window"
}
caption() {
    xprop -id "$window" WM_NAME | sed -n 's/^[^"]*"\(.*\)"$/\1/p'
}
expect_caption() {
    local shown
    for _ in $(seq 50); do
        shown=$(caption)
        [ "$shown" = "$1" ] && { echo "caption: $shown"; return; }
        sleep 0.1
    done
    fail "caption \"$shown\", not \"$1\""
}
# Asks the program to end as a user's close would (WM_CLOSE) and waits for it.
close_analyzer() {
    "$wine" taskkill /im spectrino.exe >/dev/null 2>&1 || true
    for _ in $(seq 100); do
        kill -0 "$app" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$app" 2>/dev/null && fail "spectrino.exe did not end on WM_CLOSE"
    wait "$app" 2>/dev/null || true
}
# The window's place on the screen: sets $wx and $wy (top left of the menu bar).
window_origin() {
    local info
    info=$(xwininfo -id "$window")
    wx=$(awk '/Absolute upper-left X/ { print $4 }' <<<"$info")
    wy=$(awk '/Absolute upper-left Y/ { print $4 }' <<<"$info")
}
shot() {  # file band [rate [level]]
    local file=$shots/$1
    shift
    xwd -root -silent | /usr/bin/convert xwd:- "$file"
    echo "screenshot: $file"
    "$build/bin/shot_check" "$file" "$@" || fail "screenshot $file"
}
