#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "receiver/requests/handler.h"
#include "receiver/requests/refused_hosts.h"
#include "receiver/server/connections.h"
#include "receiver/songs/current_song.h"
#include "receiver/songs/song_files.h"

namespace receiver {

class EventStream;

// What every connection shares, on the server's thread: the handler's
// settings, the song and its files, the pages that follow /events, the open
// connections and the refused host names.
class SongHub : public SongStore {
 public:
  SongHub(HandlerSettings settings, std::optional<std::string> format,
          CurrentSong& song, SongFileWriter& files,
          std::function<void(const Song&)> stored);

  const HandlerSettings& settings() const { return settings_; }
  Connections& connections() { return connections_; }

  std::optional<Song> Current() const override { return song_.Get(); }
  // Shows the song at once, to the pages too; the files follow on their own
  // thread.
  void Store(Song song) override;

  void Follow(const std::shared_ptr<EventStream>& stream);

  // Prints the first refusal of each host.
  void NoteRefusedHost(const RefusedHost& refused);

 private:
  const HandlerSettings settings_;
  const std::optional<std::string> format_;
  CurrentSong& song_;
  SongFileWriter& files_;
  const std::function<void(const Song&)> stored_;
  Connections connections_;
  std::deque<std::weak_ptr<EventStream>> followers_;
  RefusedHosts refused_hosts_;
};

}  // namespace receiver
