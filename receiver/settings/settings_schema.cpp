#include "receiver/settings/settings_schema.h"

#include "receiver/services/service_settings.h"

namespace receiver {

namespace {

constexpr std::string_view kLine = "{artist| - }{title}";
constexpr std::string_view kTemplateHelp =
    "{artist} {album} {title}; {TITLE} in upper case; {title:30} at most 30 "
    "characters; {album| - } a separator that vanishes with its field; \\n a "
    "new line";

std::vector<SchemaSection> MakeSchema() {
  return {
      {"file",
       true,
       "File",
       "A text file in the song folder, for a text source in OBS. Without any "
       "file listed the receiver writes now_playing.txt, artist.txt, "
       "album.txt and title.txt; with one or more, exactly those listed.",
       {{"template", "template", kTemplateHelp, kLine},
        {"encoding", "choice", "How the file is written", "utf-8",
         "utf-8|utf-8-bom|utf-16le"},
        {"idle", "text", "What the file shows while idle; empty: the idle text",
         ""}}},
      {"idle",
       false,
       "Idle",
       "After some minutes without a new song the files show the idle text "
       "and the overlay fades.",
       {{"minutes", "number",
         "Minutes without a new song until idle, 0 to 1440; 0: the last song "
         "stays",
         "0"},
        {"text", "text",
         "What each file shows while idle, unless the file sets its own", ""}}},
      {"history",
       false,
       "History",
       "history.txt holds the latest songs, newest first.",
       {{"lines", "number", "Songs in history.txt, 0 to 500", "10"},
        {"log", "yesno", "A playout log per day, log/YYYY-MM-DD.csv", "no"}}},
      {"chat",
       false,
       "Chat",
       "The line GET /song answers, for a chat bot.",
       {{"template", "template", kTemplateHelp, kLine},
        {"idle", "text", "Its answer while idle or before the first song",
         "Nothing is playing right now"}}},
      {"receiver",
       false,
       "Receiver",
       "Where the receiver listens. A change applies at the next start of the "
       "receiver; options on its command line win.",
       {{"port", "number", "The port to listen on, 1 to 65535", "80"},
        {"listen", "text",
         "The address to listen on: 127.0.0.1 this PC only, 0.0.0.0 the whole "
         "network",
         "127.0.0.1"}}},
      {"covers",
       false,
       "Covers",
       "Sends each song's artist and album to MusicBrainz and the Cover Art "
       "Archive to find its cover, shown as cover.jpg. Nothing else is sent.",
       {{"enabled", "yesno", "Look up covers", "no"},
        {"placeholder", "text", "A picture file shown when no cover is found",
         ""},
        {"contact", "text",
         "Your web or e-mail address, sent with each look-up; empty: the "
         "receiver's own",
         ""},
        {"musicbrainz", "url", "The MusicBrainz server",
         "https://musicbrainz.org"},
        {"coverart", "url", "The Cover Art Archive server",
         "https://coverartarchive.org"}}},
      {"icecast",
       false,
       "Icecast",
       "Sends each song's line to your Icecast 2 server as the stream's "
       "title.",
       {{"url", "url", "The server's metadata address",
         "http://localhost:8000/admin/metadata?mount=/live"},
        {"user", "text", "The user", "source"},
        {"password", "text", "The server's admin or source password", "", "",
         true},
        {"template", "template", kTemplateHelp, kDefaultTargetTemplate}}},
      {"shoutcast",
       false,
       "SHOUTcast",
       "Sends each song's line to your SHOUTcast server as the stream's "
       "title.",
       {{"url", "url", "The server's address; /admin.cgi is added",
         "http://localhost:8000"},
        {"version", "choice", "The DNAS version", "1", "1|2"},
        {"password", "text", "The admin password", "", "", true},
        {"sid", "number", "The stream's number (version 2), 1 to 999", "1"},
        {"template", "template", kTemplateHelp, kDefaultTargetTemplate}}},
      {"listenbrainz",
       false,
       "ListenBrainz",
       "Sends each song as playing now, and as a listen once it played 4 "
       "minutes.",
       {{"token", "text", "Your user token from listenbrainz.org/settings", "",
         "", true},
        {"url", "url", "The server", "https://api.listenbrainz.org"}}},
      {"lastfm",
       false,
       "Last.fm",
       "Sends each song to Last.fm as playing now, and as a scrobble once it "
       "played half its length or 4 minutes. Make an API account at "
       "last.fm/api/account/create, then \"Connect Last.fm\" on this page.",
       {{"key", "text", "The API account's key", ""},
        {"secret", "text", "The API account's secret", "", "", true},
        {"session", "text",
         "Written by \"Connect Last.fm\"; one from elsewhere works too", "", "",
         true},
        {"url", "url", "The server; Libre.fm's works the same way",
         "https://ws.audioscrobbler.com/2.0/"}}},
      {"webhook",
       true,
       "Webhook",
       "Sends each song as the body to the address, with the headers given.",
       {{"url", "url", "Where to send it", "", "", true},
        {"method", "choice", "The request's method", "POST",
         "GET|POST|PUT|PATCH"},
        {"header", "header", "One \"Name: value\" per line", "", "", true},
        {"body", "template",
         "A template; {title:json} is the field as a JSON string",
         kDefaultWebhookBody}}},
      {"discord",
       false,
       "Discord",
       "Shows each song on your Discord profile as \"Listening to\", through "
       "the Discord app on this PC: title, artist, album, its cover's "
       "address at the Cover Art Archive and a time bar.",
       {{"application", "text",
         "The Application ID of your own application in Discord's developer "
         "portal; its name is what the profile shows",
         ""},
        {"image", "text",
         "An image asset of the application, shown when a song has no cover",
         ""}}},
      {"lyrics",
       false,
       "Lyrics",
       "Looks up each song's synced lyrics on LRCLIB (artist, title, album "
       "and length) for the page /lyrics and lyrics.txt, timed from the "
       "song's start: a seek or a pause puts them out of step until the next "
       "song.",
       {{"enabled", "yesno", "Look up lyrics", "no"},
        {"offset", "number",
         "Seconds to move the lines by, -60 to 60, such as 0.5 or -1", "0"},
        {"url", "url", "The LRCLIB server", "https://lrclib.net"}}},
  };
}

}  // namespace

const std::vector<SchemaSection>& SettingsSchema() {
  static const std::vector<SchemaSection> schema = MakeSchema();
  return schema;
}

const SchemaSection* FindSchemaSection(std::string_view name) {
  const std::size_t space = name.find(' ');
  const std::string_view word = name.substr(0, space);
  for (const SchemaSection& section : SettingsSchema()) {
    if (section.name != word) continue;
    const bool named = space != std::string_view::npos;
    return named == section.named ? &section : nullptr;
  }
  return nullptr;
}

const SchemaField* FindSchemaField(const SchemaSection& section,
                                   std::string_view key) {
  for (const SchemaField& field : section.fields) {
    if (field.key == key) return &field;
  }
  return nullptr;
}

}  // namespace receiver
