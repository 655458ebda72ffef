#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>

#include "receiver/settings/settings_file.h"
#include "receiver/songs/current_song.h"
#include "receiver/songs/history.h"
#include "receiver/songs/song_files.h"
#include "receiver/web/connections.h"
#include "receiver/web/control_state.h"
#include "receiver/web/handler.h"
#include "receiver/web/lyrics_board.h"
#include "receiver/web/problems.h"
#include "receiver/web/refused_hosts.h"

namespace receiver {

class DiscordPresence;
class EventStream;
class Relay;
class SettingsDesk;
struct FoundCover;
struct TargetReport;
struct FoundLength;
struct FoundLyrics;

struct HubSetup {
  std::optional<std::string> format;  // --format
  ReceiverSettings settings;          // from the settings file at start
  std::vector<HistoryEntry> history;  // read back, newest first
  // False: history.json could not be read back, nor moved aside, and is not
  // written over.
  bool history_file = true;
  // On the server's thread: each song shown, and the chat's line whenever
  // it changes.
  std::function<void(const Song&)> stored;
  std::function<void(const std::string&)> chat;
  // The cover of the song read back at start, when it had one.
  std::optional<CoverImage> cover;
  // For the control page: what it listens on, the page's address, the song
  // folder (UTF-8), and the settings file's problems at start.
  std::string listen;
  std::string page;
  std::string folder;
  decltype(SettingsRead::problems) settings_problems;
  std::string settings_file_problem;
  // On the server's thread: the number of open problems when it changes.
  std::function<void(std::size_t)> problems;
};

// What every connection shares, on the server's thread: the handler's
// settings, the song and its files, the settings file's settings, the
// history, the idle state, the pages that follow /events, the open
// connections and the refused host names.
class SongHub : public SongStore {
 public:
  SongHub(HandlerSettings settings, HubSetup setup, CurrentSong& song,
          SongFileWriter& files);

  const HandlerSettings& settings() const { return settings_; }
  Connections& connections() { return connections_; }

  std::optional<Song> Current() const override { return song_.Get(); }
  // Shows the song at once, to the pages too; the files follow on their own
  // thread. Ends the idle state.
  void Store(Song song) override;
  bool Idle() const override { return idle_; }
  std::string ChatLine() const override;
  std::string HistoryJson() const override;
  std::optional<CoverImage> Cover() const override { return cover_; }
  std::optional<std::string> UserStyle() const override { return style_; }
  // Stores the song, and keeps it as the last report with its address.
  void Report(Song song, const Peer& from) override;
  // The control page's calls: "state", "test", "clear"; the settings
  // forms' ("settings...") go to the settings desk.
  void Control(const ControlCall& call, const ControlReply& reply) override;
  std::string LyricsJson() const override;

  // The song folder's overlay.css, read anew: open overlays take it at once.
  void SetUserStyle(std::optional<std::string> style);

  // Each new song goes on to `relay` from now on (null: no more).
  void UseRelay(Relay* relay) { relay_ = relay; }
  // The settings forms' calls go to `desk` from now on (null: none).
  void UseSettingsDesk(SettingsDesk* desk) { settings_desk_ = desk; }
  // Each new song, idle, its cover and its length go to `presence` from now
  // on (null: no more).
  void UsePresence(DiscordPresence* presence) { presence_ = presence; }
  // A cover the relay found: shown when its song is still the current one.
  void SetCover(const FoundCover& found);
  // The same for its length and lyrics.
  void SetLength(const FoundLength& found);
  void SetLyrics(const FoundLyrics& found);

  void Follow(const std::shared_ptr<EventStream>& stream);

  // Prints the first refusal of each host.
  void NoteRefusedHost(const RefusedHost& refused);

  // The idle timer runs on `io` from Start until Finish.
  void Start(boost::asio::io_context& io);
  void Finish();

  // The settings file's new bytes: what changed applies at once, its
  // problems are told once.
  void ApplySettings(const std::string& bytes);

  // Every file shows its idle text and the overlay fades until the next
  // song.
  void Clear();

  // A song from the control page: shown and written like a report, but kept
  // out of the history, the playout log and the services.
  void StoreTest(Song song);

  // A target's health from the relay, a song file's from its writer (an
  // empty error: written again), and a settings file that was not read.
  void SetTarget(const TargetReport& report);
  // Last.fm's connection as it stands, and the session the user allowed,
  // for the settings file.
  void SetLastFm(LastFmStatus status);
  void StoreLastFmSession(std::string session);
  void SetFileHealth(const std::string& name, const std::string& error);
  void SettingsRefused(const std::string& why);

 private:
  void Broadcast(const std::string& event);
  void WriteHistory();
  void WriteHistorySoon();
  void ArmIdle();
  void TellChat();
  // The current song as Discord shows it, once more whenever it has more.
  void TellPresence();
  int OffsetMinutes();
  // The settings reader's problems on the board.
  void SetSettingsProblems(const decltype(SettingsRead::problems)& problems,
                           const std::string& file_problem = {});
  void TellProblems();
  std::string StateJson() const;

  const HandlerSettings settings_;
  const std::optional<std::string> format_;
  ReceiverSettings receiver_;
  CurrentSong& song_;
  SongFileWriter& files_;
  const std::function<void(const Song&)> stored_;
  const std::function<void(const std::string&)> chat_;
  const std::function<void(std::size_t)> problems_hook_;
  const std::string listen_;
  const std::string page_;
  const std::string folder_;
  ProblemBoard problems_;
  std::optional<std::size_t> told_problems_;
  std::optional<LastReport> last_report_;
  Connections connections_;
  std::deque<std::weak_ptr<EventStream>> followers_;
  RefusedHosts refused_hosts_;
  History history_;
  const bool history_file_;
  Relay* relay_ = nullptr;
  LastFmStatus lastfm_;
  // Why the session could not be written into the settings file.
  std::string lastfm_store_problem_;
  SettingsDesk* settings_desk_ = nullptr;
  DiscordPresence* presence_ = nullptr;
  std::uint64_t song_number_ = 0;   // of the current song, for its cover
  std::int64_t song_start_ms_ = 0;  // when it started playing, Unix ms
  std::string cover_url_;           // its cover's address, when found
  std::optional<CoverImage> cover_;
  std::optional<std::string> style_;
  bool idle_ = false;
  std::unique_ptr<boost::asio::steady_timer> idle_timer_;
  std::unique_ptr<boost::asio::steady_timer> history_timer_;
  bool history_due_ = false;
  int offset_minutes_ = 0;
  std::optional<std::chrono::steady_clock::time_point> offset_read_;
  std::chrono::steady_clock::time_point last_song_;
  LyricsBoard lyrics_;
};

}  // namespace receiver
