#include "receiver/settings/settings_file.h"

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
; goes with its field and vanishes when it is empty; \n a new line;
; {title:json} the field as a JSON string, for a webhook's body. A value in
; double quotes keeps its spaces.
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

; The services below each get every new song; all are off until set up.
; A secret (a password, the token, a webhook's url and headers) may be
; written in clear: when the receiver reads the file it writes each one
; again as "dpapi:...", encrypted so that only this Windows user on this PC
; can read it. On another account or PC, write it again in clear.
;
; Covers: sends each song's artist and album to musicbrainz.org and
; coverartarchive.org to find its cover, kept in the folder "covers" and
; shown as cover.jpg. With covers, [listenbrainz], [lastfm] or [lyrics] on,
; the title goes to musicbrainz.org too, for the song's length (kept in
; "lengths").
; Nothing else is sent.
;[covers]
;enabled = no                    ; yes: look up covers
;placeholder =                   ; a picture file shown when no cover is found
;musicbrainz = https://musicbrainz.org
;coverart = https://coverartarchive.org
;contact =                       ; your web or e-mail address, sent with each look-up; empty: the receiver's own

; Lyrics: sends each song's artist, title, album and length to lrclib.net
; for its lyrics, kept in the folder "lyrics": the page /lyrics for a
; browser source, and lyrics.txt with the line being sung for a text source.
;[lyrics]
;enabled = no                    ; yes: look up lyrics
;offset = 0                      ; seconds added to each line's time, e.g. 0.5 (later) or -1 (sooner)
;url = https://lrclib.net

; Icecast 2: sends each song's line (the template) to your Icecast server,
; with its user and password, as the stream's title.
;[icecast]
;url = http://localhost:8000/admin/metadata?mount=/live
;user = source
;password =                      ; the server's admin or source password (secret)
;template = {artist| - }{title}

; SHOUTcast: sends each song's line (the template) to your SHOUTcast server
; with its password, as the stream's title.
;[shoutcast]
;url = http://localhost:8000     ; the server's address; /admin.cgi is added
;version = 1                     ; 1 or 2 (the DNAS version)
;password =                      ; the admin password (secret)
;sid = 1                         ; the stream's number (version 2)
;template = {artist| - }{title}

; ListenBrainz: sends each song's artist, album and title to ListenBrainz
; as playing now, and as a listen once it played half its length or 4
; minutes, with your token.
;[listenbrainz]
;token =                         ; your user token from listenbrainz.org/settings (secret)
;url = https://api.listenbrainz.org

; Last.fm: sends each song's artist, album and title to Last.fm as playing
; now, and as a scrobble once it played half its length or 4 minutes. Make
; an API account at last.fm/api/account/create for its key and secret, then
; "Connect Last.fm" on the control page writes the session here.
;[lastfm]
;key =                           ; the API account's key
;secret =                        ; its shared secret (secret)
;session =                       ; written by "Connect Last.fm" (secret)
;url = https://ws.audioscrobbler.com/2.0/   ; Libre.fm: https://libre.fm/2.0/

; A webhook (any number, each with a name): sends each song as the body
; (a template) to the url, with the headers given.
;[webhook example]
;url = https://example.com/hook  ; where to send it (secret)
;method = POST                   ; GET, POST, PUT or PATCH
;header = X-Example: value       ; one line per header (secret)
;body = {"artist":{artist:json},"album":{album:json},"title":{title:json}}

; Discord: shows each song on your Discord profile, "Listening to" the
; artist with the title, album, cover and a time bar, through the Discord
; app on this PC. Make an application at discord.com/developers/applications:
; its name is what the profile shows, its Application ID goes here.
;[discord]
;application =                   ; the Application ID, a number of 17 to 20 digits
;image =                         ; one of its art assets, shown when no cover is found
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
