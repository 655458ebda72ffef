#include "receiver/text/settings_file.h"

namespace receiver {

std::string DefaultSettingsText() {
  constexpr std::string_view kText =
      R"(; trackwire_receiver.ini: the receiver's settings. A saved change applies
; within a second. A line starting with ";" is a comment: remove the ";" in
; front of a setting to change it. Options on the receiver's command line
; win over this file.
;
; Without any [file ...] section the receiver writes now_playing.txt,
; artist.txt, album.txt, title.txt and now_playing.json as it always did.
; With one or more, it writes exactly the text files listed, and
; now_playing.json. In a template: {artist} {album} {title}; {TITLE} in
; upper case; {title:30} at most 30 characters; {album| - } a separator that
; goes with its field and vanishes when it is empty; \n a new line. A value
; in double quotes keeps its spaces.
;
;[file now_playing.txt]
;template = {artist| - }{title}  ; what the file holds
;encoding = utf-8                ; utf-8, utf-8-bom or utf-16le
;idle =                          ; what it shows while idle, instead of [idle] text

[idle]
;minutes = 0                     ; minutes without a new song until idle; 0: the last song stays
;text =                          ; what each file shows while idle, unless a file sets idle = ...

[history]
;lines = 10                      ; songs in history.txt, newest first
;log = no                        ; yes: a playout log per day, log/YYYY-MM-DD.csv

[chat]
;template = {artist| - }{title}  ; the line GET /song answers, for a chat bot
;idle = Nothing is playing right now  ; its answer while idle or before the first song

[receiver]
;port = 80                       ; the port to listen on (applies at the next start)
;listen = 127.0.0.1              ; the address to listen on (applies at the next start)
)";
  // CR LF: the Notepad of Windows 7 shows a file without them as one line.
  std::string out;
  for (const char c : kText) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

}  // namespace receiver
