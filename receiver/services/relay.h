#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "receiver/lastfm/lastfm_connect.h"
#include "receiver/services/service_settings.h"
#include "receiver/services/target_queue.h"
#include "receiver/songs/song_text.h"

namespace receiver {

class Thread;
struct Lyrics;

// A cover found for the song with the given number (as Relay::Song had it):
// its key ("placeholder" for the user's own image) and bytes.
struct FoundCover {
  std::uint64_t song_number = 0;
  std::string key;
  std::shared_ptr<const std::string> bytes;
  std::string type;      // e.g. image/png
  std::string url = {};  // its address on the archive, when known
};

// How a target fares now, by its name ("Icecast", "webhook discord"...);
// `gone` once the settings no longer name it.
struct TargetReport {
  std::string name;
  TargetQueue::Health health = TargetQueue::Health::kWaiting;
  std::string problem;
  bool gone = false;
};

// The length looked up for the song with the given number.
struct FoundLength {
  std::uint64_t song_number = 0;
  int seconds = 0;
};

// Its lyrics, found or from the cache.
struct FoundLyrics {
  std::uint64_t song_number = 0;
  std::shared_ptr<const Lyrics> lyrics;
};

struct RelayHooks {
  // On the relay's thread; must not wait (the server's thread posts it).
  std::function<void(FoundCover)> cover;
  // What the user should hear of a target: a failure, or that it works
  // again; from the relay's thread.
  std::function<void(const std::string&)> notice;
  // cover.jpg's new bytes, or none to remove it, for the song files' writer
  // (which tries a file held open again); from the relay's thread, must not
  // wait.
  std::function<void(std::optional<std::string>)> cover_file;
  // Each target's health when it changes, and its end; from the relay's
  // thread, must not wait (the server's thread posts it).
  std::function<void(TargetReport)> target;
  // On the relay's thread, must not wait, as `cover`.
  std::function<void(FoundLength)> length;
  std::function<void(FoundLyrics)> lyrics;
  // Last.fm's session, allowed by the user: for the settings file; and how
  // the connection stands, when that changes. As `cover`.
  std::function<void(std::string)> lastfm_session;
  std::function<void(LastFmStatus)> lastfm;
};

// Takes each song further, to the services the settings name, on a thread of
// its own: the cover, the length, the lyrics, Icecast, SHOUTcast,
// ListenBrainz, Last.fm and webhooks. Nothing
// here waits for the network; a call only leaves word for the thread.
class Relay {
 public:
  Relay(std::wstring folder, TargetSettings settings, RelayHooks hooks);
  Relay(const Relay&) = delete;
  Relay& operator=(const Relay&) = delete;
  ~Relay();

  // False when its thread could not start: nothing goes out.
  bool started() const;

  // A new song, the `number`th since the start, that came at `unix_seconds`.
  void Song(const receiver::Song& song, std::uint64_t number,
            std::int64_t unix_seconds);
  // The song is no longer playing (idle, or cleared by the user).
  void Idle(std::int64_t unix_seconds);
  void Apply(TargetSettings settings);
  // The control page's "Connect Last.fm" and "Disconnect".
  void ConnectLastFm();
  void StopLastFm();

  // The current song's listen is kept on disk, what is open is given up, and
  // the thread ends within about `milliseconds` (unless the disk is stuck);
  // returns when it has, or that time is up.
  void Finish(std::int64_t unix_seconds, unsigned milliseconds);

  struct State;

 private:
  std::shared_ptr<State> state_;
  std::unique_ptr<Thread> thread_;
};

}  // namespace receiver
