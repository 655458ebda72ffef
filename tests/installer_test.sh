#!/bin/bash
# The setup program, built from installer/ around the shipped DLL and
# receiver, run silently under wine64 (32-bit, WoW64) in a fresh prefix and an
# Xvfb display of its own; given the 64-bit DLL and receiver, the same script
# built for amd64 (where the CPU cannot run 32-bit code): installs into fake player folders, with and without
# the receiver and its log-on start, the refusals that must leave nothing behind, uninstalling, the
# receiver that setup starts at the end (or not), the installed receiver
# started as its shortcut says, and the installed plug-in reporting from the
# player simulator to a loopback receiver.
#   tests/installer_test.sh SHIPPED_DLL SHIPPED_RECEIVER BIN_DIR WORK_DIR
set -u
if [ $# -ne 4 ]; then
  echo "usage: installer_test.sh SHIPPED_DLL SHIPPED_RECEIVER BIN_DIR WORK_DIR" >&2
  exit 2
fi
repo=$(cd "$(dirname "$0")/.." && pwd)
source "$repo/tests/support/script_support.sh"
shipped=$(realpath "$1")
shipped_receiver=$(realpath "$2")
bin=$(realpath "$3")
work=$(realpath -m "$4")
prefix=$work/prefix
setup=$work/gen_trackwire-1.0-setup.exe
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\gen_trackwire'
run_name='WinAmp Tunebeacon Receiver'

rm -rf "$work"
mkdir -p "$work"
# Compared against a copy: the shipped file may be rebuilt while this runs.
dll=$work/gen_trackwire.dll
cp "$shipped" "$dll" || exit 1
receiver_exe=$work/trackwire_receiver.exe
cp "$shipped_receiver" "$receiver_exe" || exit 1
# The setup program's width follows the files': a 32-bit one puts the
# receiver and the list entry where WoW64 redirects them.
if objdump -f "$dll" 2>/dev/null | grep -q 'file format pei-i386'; then
  target=() view=32 program_files='Program Files (x86)'
else
  target=("-XTarget amd64-unicode") view=64 program_files='Program Files'
fi
"$repo/installer/build.sh" "$dll" "$receiver_exe" "$setup" "${target[@]}" || exit 1
"$repo/tools/cpu32.sh" --check "$setup" || exit 1
env -u DISPLAY "$repo/cmake/wine-prefix.sh" "$prefix" >/dev/null || exit 1

xvfb_pid="" php_pid="" sim_pid="" installed_pid=""
finish() {
  "$wineserver" -k 2>/dev/null
  [ -n "$sim_pid" ] && wait "$sim_pid" 2>/dev/null
  [ -n "$installed_pid" ] && wait "$installed_pid" 2>/dev/null
  [ -n "$php_pid" ] && kill "$php_pid" 2>/dev/null && wait "$php_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
}
trap finish EXIT
start_xvfb "$work/display"

fresh_player() { rm -rf "$1" && mkdir -p "$1" && : >"$1/winamp.exe"; }
run_setup() { "$wine" "$setup" "$@" >/dev/null 2>&1; echo $?; }
files() { (cd "$1" && find . -mindepth 1 | sort | tr '\n' ' '); }
same() { cmp -s "$1" "$2" && echo same || echo different; }
present() { [ -e "$1" ] && echo present || echo absent; }
# A value of the list entry, as the installer sees it.
entry() {
  "$wine" reg query "$key" /v "$1" /reg:$view 2>/dev/null | tr -d '\r' |
    sed -n "s/^ *$1 *REG_[A-Z_]* *//p"
}
# The entry in either registry view.
entry_state() {
  if "$wine" reg query "$key" /reg:32 >/dev/null 2>&1 ||
    "$wine" reg query "$key" /reg:64 >/dev/null 2>&1; then
    echo present
  else
    echo absent
  fi
}
# A log-on start's command, empty when there is none.
start_simulator() {  # start_simulator LOG ARGS...: waits until its window is up
  local log=$1
  shift
  (cd "$bin" && exec "$wine" player_sim.exe "$@") >"$log" 2>&1 &
  sim_pid=$!
  for _ in $(seq 300); do
    grep -q '^loaded ' "$log" && return 0
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "the simulator did not start:"
  cat "$log"
  return 1
}
kb() { echo $((($(stat -c %s "$1") + 1023) / 1024)); }
# The receiver's places in the all-users shell context, as seen from Linux.
receiver_dir="$prefix/drive_c/$program_files/WinAmp Tunebeacon Receiver"
receiver_dir_win="C:\\$program_files\\WinAmp Tunebeacon Receiver"
link="$prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/WinAmp Tunebeacon Receiver.lnk"
song_dir="$prefix/drive_c/users/Public/Documents/WinAmp Tunebeacon"
song_dir_win='C:\users\Public\Documents\WinAmp Tunebeacon'
appdata=$(find "$prefix/drive_c/users" -mindepth 3 -maxdepth 3 -path '*/AppData/Roaming' ! -path '*/Public/*' | head -n1)
mkdir -p "$work/sim-settings"
printf 'Player\tSimulator\tPlayer - Waiting\t60\n' >"$work/waiting.txt"

# Every line the script adds to the log fits the log's one column, which
# cuts what is wider (about 440 pixels of 8-point Tahoma: 60 characters
# leave room), with the song folder's path as Windows has it.
check "every line of the log fits" "" "$(sed -n 's/^ *DetailPrint //p' "$repo/installer/gen_trackwire.nsi" |
  sed -e 's/^["'"'"']//' -e 's/["'"'"']$//' -e 's/\${SONG_DIR}/C:\\Users\\Public\\Documents\\${PRODUCT}/g' \
    -e 's/\${PRODUCT}/WinAmp Tunebeacon/g' | awk 'length > 60')"

# A folder without winamp.exe: exit 2, nothing written.
mkdir -p "$work/empty"
check "no winamp.exe: exit code" 2 "$(run_setup /S "/D=$(windows_path "$work/empty")")"
check "no winamp.exe: no files" "" "$(files "$work/empty")"
check "no winamp.exe: no list entry" absent "$(entry_state)"

# The player running: exit 3, nothing written.
fresh_player "$work/busy"
if start_simulator "$work/sim-waiting.log" --plugin gen_trackwire.dll \
  --playlist "$(windows_path "$work/waiting.txt")" --settings-dir "$(windows_path "$work/sim-settings")" \
  --start-delay 60; then
  check "player running: exit code" 3 "$(run_setup /S "/D=$(windows_path "$work/busy")")"
  check "player running: no files" "./winamp.exe " "$(files "$work/busy")"
  check "player running: no list entry" absent "$(entry_state)"
else
  failed=$((failed + 1))
fi
"$wineserver" -k
wait "$sim_pid" 2>/dev/null
sim_pid=""

# The folder the player's own installer recorded.
found=$work/registry-found
fresh_player "$found"
"$wine" reg add 'HKCU\Software\Winamp' /ve /d "$(windows_path "$found")" /f >/dev/null 2>&1
check "registry-found: exit code" 0 "$(run_setup /S)"
check "registry-found: the shipped DLL" same "$(same "$dll" "$found/Plugins/gen_trackwire.dll")"
check "registry-found: uninstaller" present "$(present "$found/gen_trackwire_uninstall.exe")"
check "registry-found: uninstall string" "\"$(windows_path "$found")\\gen_trackwire_uninstall.exe\"" \
  "$(entry UninstallString)"
check "registry-found: display name" "WinAmp Tunebeacon" "$(entry DisplayName)"
check "registry-found: version" "1.0" "$(entry DisplayVersion)"
check "registry-found: size in KB" "$(kb "$dll")" "$(($(entry EstimatedSize)))"
check "no /RECEIVER: no receiver folder" absent "$(present "$receiver_dir")"
check "no /RECEIVER: no Start-menu entry" absent "$(present "$link")"
check "no /RECEIVER: no song folder" absent "$(present "$song_dir")"
check "no /RECEIVER: no log-on start" "" "$(run_value "$run_name")"
check "registry-found: no settings written" "" \
  "$(find "$found" "$appdata" -name gen_trackwire.ini)"

# Before Windows 7 the receiver cannot run: not even /RECEIVER installs it.
old_windows='HKCU\Software\Wine\AppDefaults\gen_trackwire-1.0-setup.exe'
"$wine" reg add "$old_windows" /v Version /d vista /f >/dev/null 2>&1
check "Vista, /RECEIVER: exit code" 0 "$(run_setup /S /RECEIVER)"
check "Vista, /RECEIVER: the plug-in" same "$(same "$dll" "$found/Plugins/gen_trackwire.dll")"
check "Vista, /RECEIVER: no receiver folder" absent "$(present "$receiver_dir")"
check "Vista, /RECEIVER: no log-on start" "" "$(run_value "$run_name")"
"$wine" reg delete "$old_windows" /f >/dev/null 2>&1

# /D= wins over the recorded folder.
chosen=$work/chosen
fresh_player "$chosen"
check "/D=: exit code" 0 "$(run_setup /S "/D=$(windows_path "$chosen")")"
check "/D=: the shipped DLL" same "$(same "$dll" "$chosen/Plugins/gen_trackwire.dll")"
check "/D=: uninstall string" "\"$(windows_path "$chosen")\\gen_trackwire_uninstall.exe\"" \
  "$(entry UninstallString)"

# The receiver that setup starts takes its port from the settings file in
# the song folder, which setup keeps: a free one rather than 80.
setup_port=$(free_port)
mkdir -p "$song_dir"
printf '[receiver]\r\nport = %s\r\n' "$setup_port" >"$song_dir/trackwire_receiver.ini"
# Waits up to 15 s for a receiver on the port.
answers() {
  for _ in $(seq 150); do
    curl -s -o /dev/null "http://127.0.0.1:$1/now_playing.json" && { echo answers; return; }
    sleep 0.1
  done
  echo refused
}

# The receiver without its log-on start, which turns an earlier one off;
# other programs' log-on starts stay.
"$wine" reg add "$run_key" /v "$run_name" /d '"C:\old\trackwire_receiver.exe"' /f >/dev/null 2>&1
"$wine" reg add "$run_key" /v "Another Program" /d '"C:\another.exe" /quiet' /f >/dev/null 2>&1
check "/RECEIVER /NOAUTOSTART: exit code" 0 \
  "$(run_setup /S /RECEIVER /NOAUTOSTART "/D=$(windows_path "$chosen")")"
check "/RECEIVER /NOAUTOSTART: the receiver installed" same \
  "$(same "$receiver_exe" "$receiver_dir/trackwire_receiver.exe")"
check "/RECEIVER /NOAUTOSTART: the earlier log-on start gone" "" "$(run_value "$run_name")"
check "/RECEIVER /NOAUTOSTART: another program's log-on start kept" '"C:\another.exe" /quiet' \
  "$(run_value "Another Program")"
# At the end setup starts the receiver through its Start-menu entry, so with
# that entry's folder.
check "/RECEIVER: the receiver started" answers "$(answers "$setup_port")"
curl -s -o /dev/null "http://127.0.0.1:$setup_port/set_current_song.php?artist=Setup&album=&title=Started"
# The receiver answers first and writes the song files a moment later.
for _ in $(seq 50); do
  [ "$(cat "$song_dir/now_playing.txt" 2>/dev/null)" = "Setup - Started" ] && break
  sleep 0.1
done
check "the receiver setup started: now_playing.txt in the song folder" "Setup - Started" \
  "$(cat "$song_dir/now_playing.txt" 2>/dev/null)"

# An older copy is replaced.
older=$work/older
fresh_player "$older"
mkdir -p "$older/Plugins"
printf 'an older gen_trackwire.dll' >"$older/Plugins/gen_trackwire.dll"
check "older DLL, /RECEIVER: exit code" 0 "$(run_setup /S /RECEIVER "/D=$(windows_path "$older")")"
check "older DLL: replaced by the shipped one" same "$(same "$dll" "$older/Plugins/gen_trackwire.dll")"
check "/RECEIVER: the shipped receiver in its folder" same \
  "$(same "$receiver_exe" "$receiver_dir/trackwire_receiver.exe")"
check "/RECEIVER: size in KB counts both" $(($(kb "$dll") + $(kb "$receiver_exe"))) \
  "$(($(entry EstimatedSize)))"
check "/RECEIVER: Start-menu entry" present "$(present "$link")"
# The .lnk holds the target as ANSI, the working folder and arguments as UTF-16.
check "/RECEIVER: shortcut target" "$receiver_dir_win\\trackwire_receiver.exe" \
  "$(strings "$link" 2>/dev/null | grep -F '\trackwire_receiver.exe')"
link_folder=$(strings -el "$link" 2>/dev/null | sed -n 's/^.\(C:\\.*\)$/\1/p')
link_arguments=$(strings -el "$link" 2>/dev/null | grep -o -- '--folder .*')
check "/RECEIVER: shortcut working folder" "$song_dir_win" "$link_folder"
check "/RECEIVER: shortcut arguments" "--folder \"$song_dir_win\"" "$link_arguments"
link_song_dir=${link_arguments#--folder \"}
check "/RECEIVER: starts at log-on" \
  "\"$receiver_dir_win\\trackwire_receiver.exe\" --folder \"$song_dir_win\"" "$(run_value "$run_name")"
link_song_dir=${link_song_dir%\"}

# The installed receiver, started as the shortcut says.
start_installed_receiver() {
  port=$(free_port)
  (cd "$song_dir" && exec "$wine" "$receiver_dir_win\\trackwire_receiver.exe" \
    --folder "$link_song_dir" --port "$port") >"$work/installed-receiver.log" 2>&1 &
  installed_pid=$!
  for _ in $(seq 100); do grep -q 'listening on' "$work/installed-receiver.log" && break; sleep 0.1; done
}
# Waits up to 15 s for the process to end.
ended() {
  for _ in $(seq 150); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$1" 2>/dev/null && echo "still running" || echo ended
}
# It runs as an icon: installing again ends it (its program file is in use),
# then replaces the file; with /NOSTART none starts again, nor without
# /RECEIVER.
check "again over a running receiver: exit code" 0 \
  "$(run_setup /S /RECEIVER /NOSTART "/D=$(windows_path "$older")")"
check "again over a running receiver: it was ended" refused \
  "$(curl -s -o /dev/null "http://127.0.0.1:$setup_port/" && echo answers || echo refused)"
check "again over a running receiver: the shipped receiver" same \
  "$(same "$receiver_exe" "$receiver_dir/trackwire_receiver.exe")"
check "no /RECEIVER, the receiver installed: exit code" 0 "$(run_setup /S "/D=$(windows_path "$older")")"
sleep 2
check "/NOSTART and no /RECEIVER: no receiver started" refused \
  "$(curl -s -o /dev/null "http://127.0.0.1:$setup_port/" && echo answers || echo refused)"

# End to end: the simulator loads the installed DLL from the player folder,
# which is also its settings folder, and the report reaches the receiver.
start_php_receiver "$work/song.json" "$work/receiver.log"
printf '127.0.0.1\r\n%s\r\n%s' "$port" '/set_current_song.php?artist=%s&album=%s&title=%s' \
  >"$older/gen_trackwire.ini"
mkdir -p "$appdata/Winamp"
printf 'kept\r\n' >"$appdata/Winamp/gen_trackwire.ini"
printf 'Setup\tSilent\tSetup - Fresh Install\t2\n' >"$work/song.txt"
if [ -n "$php_pid" ] && start_simulator "$work/sim-installed.log" \
  --plugin "$(windows_path "$older")\\Plugins\\gen_trackwire.dll" \
  --playlist "$(windows_path "$work/song.txt")" --settings-dir "$(windows_path "$older")"; then
  check "end to end: loaded from the player folder" 1 \
    "$(grep -cF "loaded $(windows_path "$older")\\Plugins\\gen_trackwire.dll: " "$work/sim-installed.log")"
  # Uninstalling while the player runs: exit 3, nothing removed.
  check "uninstall, player running: exit code" 3 \
    "$("$wine" "$(windows_path "$older")\\gen_trackwire_uninstall.exe" /S "_?=$(windows_path "$older")" >/dev/null 2>&1; echo $?)"
  check "uninstall, player running: files kept" \
    "./Plugins ./Plugins/gen_trackwire.dll ./gen_trackwire.ini ./gen_trackwire_uninstall.exe ./winamp.exe " \
    "$(files "$older")"
  check "uninstall, player running: entry kept" present "$(entry_state)"
  for _ in $(seq 600); do kill -0 "$sim_pid" 2>/dev/null || break; sleep 0.1; done
  wait "$sim_pid"
  check "end to end: simulator exit code" 0 "$?"
  sim_pid=""
  song=$(php -r '$s = json_decode((string)@file_get_contents($argv[1]), true);
    echo is_array($s) ? "$s[artist] | $s[album] | $s[title]" : "(nothing)";' "$work/song.json")
  check "end to end: the report arrived" "Setup | Silent | Fresh Install" "$song"
else
  failed=$((failed + 1))
fi

# Uninstalling as users do: the recorded command, silent. The uninstaller
# re-launches itself from the temporary folder; wineserver -w waits for that.
settings_before=$(od -c "$older/gen_trackwire.ini")
printf 'mine' >"$song_dir/notes.txt"
for field in artist album title; do printf 'x' >"$song_dir/$field.txt"; done
command=$(entry UninstallString)
command=${command//\"/}
# A running receiver is ended first.
start_installed_receiver
check "uninstall: exit code" 0 "$("$wine" "$command" /S >/dev/null 2>&1; echo $?)"
check "uninstall: the running receiver ended" ended "$(ended "$installed_pid")"
installed_pid=""
timeout 60 "$wineserver" -w
check "uninstall: DLL and uninstaller gone, settings kept" "./gen_trackwire.ini ./winamp.exe " \
  "$(files "$older")"
check "uninstall: receiver folder gone" absent "$(present "$receiver_dir")"
check "uninstall: Start-menu entry gone" absent "$(present "$link")"
check "uninstall: song files and history gone, the user's files kept" \
  "./notes.txt ./trackwire_receiver.ini " "$(files "$song_dir")"
check "uninstall: list entry gone" absent "$(entry_state)"
check "uninstall: log-on start gone" "" "$(run_value "$run_name")"
check "uninstall: another program's log-on start kept" '"C:\another.exe" /quiet' \
  "$(run_value "Another Program")"
check "uninstall: settings in the player folder unchanged" "$settings_before" \
  "$(od -c "$older/gen_trackwire.ini")"
check "uninstall: settings in %APPDATA%\\Winamp kept" "$(printf 'kept\r\n')" \
  "$(cat "$appdata/Winamp/gen_trackwire.ini")"
check "uninstall: the other player folder untouched" same \
  "$(same "$dll" "$chosen/Plugins/gen_trackwire.dll")"

checks_summary
