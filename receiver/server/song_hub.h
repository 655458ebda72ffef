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

#include "receiver/requests/handler.h"
#include "receiver/requests/refused_hosts.h"
#include "receiver/server/connections.h"
#include "receiver/songs/current_song.h"
#include "receiver/songs/song_files.h"
#include "receiver/text/history.h"
#include "receiver/text/settings_file.h"

namespace receiver {

class EventStream;
class Relay;
struct FoundCover;

struct HubSetup {
  std::optional<std::string> format;  // --format
  ReceiverSettings settings;          // from the settings file at start
  std::vector<HistoryEntry> history;  // read back, newest first
  // On the server's thread: each song shown, and the chat's line whenever
  // it changes.
  std::function<void(const Song&)> stored;
  std::function<void(const std::string&)> chat;
  // The cover of the song read back at start, when it had one.
  std::optional<CoverImage> cover;
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

  // Each new song goes on to `relay` from now on (null: no more).
  void UseRelay(Relay* relay) { relay_ = relay; }
  // A cover the relay found: shown when its song is still the current one.
  void SetCover(const FoundCover& found);

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

 private:
  void Broadcast(const std::string& event);
  void WriteHistory();
  void WriteHistorySoon();
  void ArmIdle();
  void TellChat();
  int OffsetMinutes();

  const HandlerSettings settings_;
  const std::optional<std::string> format_;
  ReceiverSettings receiver_;
  CurrentSong& song_;
  SongFileWriter& files_;
  const std::function<void(const Song&)> stored_;
  const std::function<void(const std::string&)> chat_;
  Connections connections_;
  std::deque<std::weak_ptr<EventStream>> followers_;
  RefusedHosts refused_hosts_;
  History history_;
  Relay* relay_ = nullptr;
  std::uint64_t song_number_ = 0;  // of the current song, for its cover
  std::optional<CoverImage> cover_;
  bool idle_ = false;
  std::unique_ptr<boost::asio::steady_timer> idle_timer_;
  std::unique_ptr<boost::asio::steady_timer> history_timer_;
  bool history_due_ = false;
  int offset_minutes_ = 0;
  std::optional<std::chrono::steady_clock::time_point> offset_read_;
  std::chrono::steady_clock::time_point last_song_;
};

}  // namespace receiver
