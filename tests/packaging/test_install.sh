#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks the installation as a
# user meets it: the menu entries and the metainfo validate, halvard-gamefolder
# lays out game folders (a new one, one that is there already, one with the
# original engine), the menu entries' launchers start HvdConnect and
# HvdMapEditor from the game folder and their first windows appear (under
# Xvfb, found by title), the installed engine and bridge server run.
#   test_install.sh BUILD_DIR
set -euo pipefail

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# Runs a command in the background, waits up to 30 s for a window whose title
# holds $1 (its output going to $2), then ends it; $exe is the program that ran.
shows() {
    local title=$1 log=$2 found=no
    shift 2
    "$@" >"$log" 2>&1 &
    local pid=$!
    for _ in $(seq 1 300); do
        xwininfo -root -tree | grep -qF "$title" && found=yes && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    exe=$(readlink "/proc/$pid/exe" || true)
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    [ "$found" = yes ] || { cat "$log" >&2; fail "no window $title from $*"; }
}

# A menu entry's launcher, HOME in the test folder, shows its window and runs
# the program from the game folder.
window_appears() {
    local launcher=$1 title=$2 program=$3 home=$4
    shows "\"$title\"" "$home/$program.log" env HOME="$home" "$launcher"
    [ "$exe" = "$home/.local/share/halvard/$program" ] || fail "$program ran from $exe"
}

if [ "${1:-}" = --windows ]; then
    shift
    export QT_QPA_PLATFORM=xcb
    window_appears "$1/games/halvard-connect" HvdConnect HvdConnect "$2"
    window_appears "$1/games/halvard-mapeditor" "Halvard Map Editor" HvdMapEditor "$2"
    # The engine copied into the game folder opens its board window for the
    # host of a game on Castle.map (an empty board will do).
    game=$2/.local/share/halvard
    printf 'Castle.map\r\nHostGame.sav\r\n0\r\nHost\r\n' >"$game/Control.ini"
    { printf 'Castle\r\n'; for _ in $(seq 80); do printf '%.0s000 ' $(seq 40); printf '\r\n'; done; } \
        >"$game/HostGame.sav"
    printf 'player person\r\nwindow shown\r\nidle-exit 30\r\n' >"$game/EngineScript.txt"
    shows '"HvdAIS2p - ' "$2/HvdAIS2p.log" env -C "$game" ./HvdAIS2p.EXE
    exit 0
fi

build=$(cd "$1" && pwd)
work=$(mktemp -d)
bridge=""
trap '[ -z "$bridge" ] || kill "$bridge" 2>/dev/null || true; rm -rf "$work"' EXIT
unset XDG_DATA_HOME XDG_CONFIG_HOME HALVARD_GAME_FOLDER
export HOME=$work/home
mkdir -p "$HOME"

# Each line given is a line that halvard-gamefolder said in $out.
says() {
    for line; do grep -qxF "$line" <<<"$out" || fail "halvard-gamefolder did not say \"$line\": $out"; done
}

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
games=$prefix/games

# Menu entries, icons, metainfo.
for entry in "$prefix"/share/applications/org.halvard.{Connect,MapEditor}.desktop; do
    desktop-file-validate "$entry" || fail "$entry does not validate"
    exec=$(sed -n 's/^Exec=//p' "$entry")
    icon=$(sed -n 's/^Icon=//p' "$entry")
    [ -x "$games/$exec" ] || fail "$entry starts $exec, which is not installed"
    compgen -G "$prefix/share/icons/hicolor/*/apps/$icon.png" >/dev/null ||
        fail "no icon $icon for $entry"
done
metainfo=$prefix/share/metainfo/org.halvard.Connect.metainfo.xml
appstreamcli validate --no-net "$metainfo" >/dev/null || fail "$metainfo does not validate"
for id in $(sed -n 's:.*<launchable type="desktop-id">\(.*\)</launchable>.*:\1:p' "$metainfo"); do
    [ -f "$prefix/share/applications/$id" ] || fail "the metainfo names $id, which is not installed"; done

# A new game folder.
game=$work/game
out=$("$games/halvard-gamefolder" "$game")
says "Game folder: $game" "Copied HvdConnect" "Copied HvdMapEditor" "Copied HvdAIS2p.EXE" \
    "Copied 9 sample maps and armies" "Made the folder Send" "Made the folder Receive"
cmp "$prefix/lib/games/halvard/HvdAIS2p" "$game/HvdAIS2p.EXE" || fail "the engine is not the stand-in"
for file in HvdConnect HvdMapEditor HvdAIS2p.EXE; do
    [ -x "$game/$file" ] && [ ! -L "$game/$file" ] || fail "$file is not an executable copy"; done
[ -d "$game/Send" ] && [ -d "$game/Receive" ] || fail "Send or Receive is missing"
[ "$(ls "$game"/*.map | wc -l)" -eq 4 ] && [ "$(ls "$game"/*.arm | wc -l)" -eq 5 ] ||
    fail "the sample maps and armies are not all there"
[ "$(cat "$game/EngineScript.txt")" = $'moves 50\r\ndelay 1000\r\nidle-exit 900\r' ] ||
    fail "EngineScript.txt is not the one the stand-in engine expects"

# Again, after the player edited a map and a program became out of date: the
# map stays, the program is brought up to date.
printf 'edited\r\n' >"$game/Castle.map"
printf 'old' >"$game/HvdConnect"
out=$("$games/halvard-gamefolder" "$game")
says "Updated HvdConnect" "HvdMapEditor is up to date" "Kept the 9 sample maps and armies already there"
[ "$(cat "$game/Castle.map")" = $'edited\r' ] || fail "the edited map was overwritten"
cmp -s "$prefix/lib/games/halvard/HvdConnect" "$game/HvdConnect" || fail "HvdConnect is still old"

# A folder with the original engine (a Windows program) and a map of its own
# in lower case: both stay, and no second engine or Base.map appears.
original=$work/original
mkdir -p "$original"
printf 'MZ\x90\x00original engine' >"$original/hvdais2p.exe"
printf 'its own base\r\n' >"$original/base.map"
mkdir "$original/send"
out=$("$games/halvard-gamefolder" --make-default "$original")
says "Kept the engine that is there: hvdais2p.exe" "Copied 8 sample maps and armies, kept 1 already there"
grep -qF "Made the folder Send" <<<"$out" && fail "a second Send folder was made"
[ "$(find "$original" -maxdepth 1 -iname hvdais2p.exe | wc -l)" -eq 1 ] || fail "a second engine"
[ "$(find "$original" -maxdepth 1 -iname base.map | wc -l)" -eq 1 ] || fail "a second Base.map"
[ "$(head -c 2 "$original/hvdais2p.exe")" = MZ ] || fail "the original engine was replaced"
[ "$("$games/halvard-gamefolder" --quiet --print)" = "$original" ] ||
    fail "the folder made the default is not the default"
rm "$HOME/.config/halvard/game-folder"
"$games/halvard-gamefolder" "$work/Unknown option" --bad >/dev/null 2>&1 && fail "--bad accepted"

# The installed engine runs and says what it misses.
mkdir "$work/elsewhere"
status=0
message=$(cd "$work/elsewhere" && QT_QPA_PLATFORM=offscreen "$game/HvdAIS2p.EXE" 2>&1) || status=$?
[ "$status" -eq 1 ] && grep -qF "HvdAIS2p: Cannot open $game/Control.ini" <<<"$message" ||
    fail "the engine without Control.ini ended with $status: $message"

# The menu entries' launchers lay out ~/.local/share/halvard on first use and
# start the programs there.
xvfb-run -a -s "-screen 0 1024x768x24" "$0" --windows "$prefix" "$HOME"
[ -f "$HOME/.local/share/halvard/Base.map" ] || fail "the launcher laid out no game folder"

# The bridge server answers and stops cleanly on SIGTERM.
coproc server { exec "$prefix/bin/HvdBridge" --port 0 --db "$work/bridge.db"; }
bridge=$server_PID
read -r -t 30 listening <&"${server[0]}" || fail "HvdBridge said nothing"
[[ "$listening" =~ ^Listening\ on\ 127\.0\.0\.1:([0-9]+)$ ]] || fail "HvdBridge said $listening"
exec 3<>"/dev/tcp/127.0.0.1/${BASH_REMATCH[1]}"
printf 'GET /Bridge/Sessions.asp HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n' >&3
read -r -t 30 statusline <&3 || fail "HvdBridge did not answer"
exec 3<&-
[[ "$statusline" == "HTTP/1.1 200 OK"* ]] || fail "HvdBridge answered $statusline"
kill -TERM "$bridge"
read -r -t 30 stopped <&"${server[0]}" || true
wait "$bridge" || fail "HvdBridge ended with $? on SIGTERM"
bridge=""
[ "$stopped" = Stopped ] || fail "HvdBridge said $stopped on SIGTERM"
[ -f "$work/bridge.db" ] || fail "HvdBridge kept no database"

# The unit is sound as systemd reads it, run against the installed server.
if command -v systemd-analyze >/dev/null; then
    mkdir "$work/units"
    sed "s:/usr/bin/HvdBridge:$prefix/bin/HvdBridge:" "$prefix/lib/systemd/system/halvard-bridge@.service" \
        >"$work/units/halvard-bridge@8080.service"
    report=$(cd "$work/units" && systemd-analyze verify ./halvard-bridge@8080.service 2>&1) &&
        [ -z "$report" ] || fail "systemd-analyze: $report"
    echo "ok: the systemd unit"
fi
echo "all packaging checks passed"
