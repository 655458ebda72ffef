#!/bin/bash
# The shipped trackwire_receiver.exe's settings forms under wine64, in
# headless Chromium (forms_checks.py): a change saved into the settings file
# with every other byte kept and applied, a bad value shown beside its field
# and not saved, a secret sealed and never sent back, a save refused once
# the file changed on disk.
#
#   receiver_forms_test.sh BIN_DIR WINEPREFIX WORK_DIR
set -u
source "$(dirname "$0")/receiver_support.sh" receiver_forms_test.sh "$@"
begin_browser_test receiver_forms_test

# A file of the user's own: a BOM, CR LF, comments and a blank line.
printf '\xEF\xBB\xBF; my own notes, kept as they are\r\n%s\r\n%s\r\n%s\r\n\r\n%s\r\n%s\r\n%s\r\n\r\n%s\r\n%s\r\n' \
  '[file now_playing.txt]' 'template = {artist} - {title}   ; the line OBS shows' \
  'encoding = utf-8' '[history]' '; how many songs' 'lines = 10' '[idle]' 'minutes = 0' \
  >"$files/trackwire_receiver.ini"
port=$(free_port)
start_receiver "$work/receiver.log" --console
client fire "$port" "artist=Artist&album=Album&title=Song%20Title"
address=$(sed -n 's/^ *control page: *//p' "$work/receiver.log" | tr -d '\r' | head -n1)
check "--console prints the control page's address" \
  "http://127.0.0.1:$port/control#key=" "${address%%key=*}key="

python3 "$here/forms_checks.py" "$address" "$files" "$work"
check "the settings forms in Chromium" 0 $?
check "the saves applied without a bad line" 0 \
  "$(grep -c 'trackwire_receiver.ini: line' "$work/receiver.log")"
checks_summary
