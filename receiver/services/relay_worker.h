#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "receiver/lastfm/lastfm_connect.h"
#include "receiver/services/answer_cache.h"
#include "receiver/services/answers.h"
#include "receiver/services/cover_cache.h"
#include "receiver/services/listen_journal.h"
#include "receiver/services/outgoing.h"
#include "receiver/services/relay.h"
#include "receiver/services/target_queue.h"
#include "receiver/services/web_client.h"

namespace receiver {

// What the relay's thread owns: a queue per target, the lookups of the cover,
// the length and the lyrics, the listens and scrobbles kept on disk, the
// connection to Last.fm under way and the client that does the requests.
// Everything
// here runs on that thread; answers come back through `post`.
class RelayWorker {
 public:
  using Time = std::chrono::steady_clock::time_point;
  using Post = std::function<void(std::function<void(RelayWorker&)>)>;

  RelayWorker(std::wstring folder, TargetSettings settings, RelayHooks hooks,
              Post post);
  RelayWorker(const RelayWorker&) = delete;
  RelayWorker& operator=(const RelayWorker&) = delete;

  void Song(const receiver::Song& song, std::uint64_t number,
            std::int64_t unix_seconds);
  void Idle(std::int64_t unix_seconds);
  // A save of the settings: what changed is set up again, and what was
  // refused is tried again.
  void Apply(TargetSettings settings);
  // Keeps the current song's listen; nothing new goes out after it. What
  // is still open is given up by `end` (GiveUp).
  void Finish(std::int64_t unix_seconds, Time end);
  // Whether a request carrying listens waits for its answer.
  bool ListensInFlight() const {
    return !listenbrainz_.out.empty() || !lastfm_.out.empty();
  }
  // "Connect Last.fm" and "Disconnect" (relay_lastfm.cpp): a session asked
  // for with the settings' key and secret, or no longer.
  void ConnectLastFm();
  void StopLastFm();
  // Ends what is open, waiting until Finish's `end` at most for WinHTTP to
  // let go of it.
  void GiveUp();

  // Starts what is due; returns when something next falls due.
  std::optional<Time> SendDue(Time now);

 private:
  enum class Kind {
    kIcecast,
    kShoutcast,
    kListenBrainz,
    kLastFm,
    kWebhook,
    kSearch,
    kFront,
    kLyrics
  };
  // A song request as a target had it: the song's number and the request.
  struct Offer {
    std::uint64_t song = 0;
    Outgoing request;
  };
  struct Target {
    Kind kind = Kind::kWebhook;
    std::string name;     // as the user reads it, e.g. "webhook discord"
    std::string webhook;  // kWebhook: its section's name
    std::unique_ptr<TargetQueue> queue;
    std::uint64_t open = 0;  // the client's number of its request in flight
    std::optional<Offer> offered;  // the latest song given to the queue
  };
  struct Lookup {
    std::string artist;
    std::string album;
    std::string key;
    std::uint64_t number = 0;
  };

  int AddTarget(Kind kind, std::string name, std::string webhook = {},
                std::chrono::milliseconds spacing = {});
  void Answered(int id, const Outgoing& request, WebReply web);
  void Tell(const std::optional<std::string>& notice);
  void SetUpTargets(const TargetSettings* before);
  std::optional<Outgoing> SongRequest(const Target& target) const;
  void OfferSong(Target& target);
  // A service that takes listens from a journal of its own: ListenBrainz,
  // Last.fm (relay_listens.cpp).
  struct Scrobbler {
    Scrobbler(const std::wstring& folder, std::string_view file,
              ListenJournal::Tell tell);
    ListenJournal journal;
    int target = 0;  // its target, 0 while it is off
    // By target, those that replaced ones included: the ids of the listens
    // in flight, settled by its answer whichever queue holds them by then.
    std::map<int, std::vector<std::string>> out;
  };
  Scrobbler* ScrobblerOf(Kind kind);
  bool CarriesListens(int id) const;
  void EndListen(std::int64_t unix_seconds);
  void KeepListen(Scrobbler& scrobbler, const Listen& listen);
  void QueueListens(Scrobbler& scrobbler, Kind kind);
  void ReplacedAnswered(int id, const Reply& reply);
  void ConnectAnswered(std::uint64_t attempt, Reply reply);
  void TellLastFm();
  // Tells the hook of each target whose health changed, or that is gone.
  void ReportHealth();

  // Covers (relay_covers.cpp), and MusicBrainz's queue that lengths share.
  void AddSearchTargets();
  void LookUpCover();
  void Settle(TargetQueue& queue, const Outgoing& request, const Reply& reply);
  void Miss(TargetQueue& queue, const Outgoing& request,
            const std::string& what);
  void Missed(const Outgoing& request);
  void SearchAnswered(const Outgoing& request, const Reply& reply);
  void FrontAnswered(const Outgoing& request, const Reply& reply);
  void ShowFound(const Lookup& lookup, CoverCache::Image image);
  void ShowMiss(const Lookup& lookup);
  void ShowCoverFile(std::optional<std::string> bytes);
  bool Current(const Lookup& lookup) const;
  // Forgets the lookups whose requests are no longer waiting or open.
  void ForgetLookups();

  // Lengths (relay_lengths.cpp) and lyrics (relay_lyrics.cpp).
  struct Recording {
    receiver::Song song;
    std::string key;  // RecordingKey
    std::uint64_t number = 0;
    Outgoing request;
    bool search = false;  // lyrics looked for without a length
  };
  bool IsRecordingSearch(const std::string& url) const;
  void LookUpLength();
  void LengthAnswered(const Outgoing& request, const Reply& reply);
  void LengthFound(const Outgoing& request, std::optional<int> seconds);
  void LengthSettled(std::uint64_t number);
  void LookUpLyrics();
  void LyricsAnswered(const Outgoing& request, const Reply& reply);
  void LyricsFound(const Outgoing& request, std::optional<std::string> record);
  void ShowLyrics(std::uint64_t number, std::string_view record);
  // Starts the lyrics' lookup whose wait for the length is over.
  std::optional<Time> LyricsWaitDue(Time now);

  const std::wstring folder_;
  TargetSettings settings_;
  const RelayHooks hooks_;
  const Post post_;
  WebClient client_;
  CoverCache covers_;
  AnswerCache lengths_;
  AnswerCache lyrics_;
  Scrobbler listenbrainz_;
  Scrobbler lastfm_;
  LastFmConnect connect_;
  LastFmStatus told_lastfm_;

  std::map<int, Target> targets_;
  // What each target last had taken, by its name: a target set up again
  // with the settings it had (a save caught half-way, then complete) does
  // not send the same song again.
  std::map<std::string, Offer> sent_;
  Time finish_end_{};
  int next_id_ = 1;
  int musicbrainz_ = 0;
  int coverart_ = 0;
  std::optional<CoverCache::Image> placeholder_;
  std::map<std::string, Lookup> lookups_;  // by the request's URL
  int lrclib_ = 0;
  std::map<std::string, Recording> recordings_;     // lengths, by URL
  std::string recording_out_;                       // the one in flight
  std::map<std::string, Recording> lyric_lookups_;  // by URL

  struct Playing {
    receiver::Song song;
    std::uint64_t number = 0;
    std::int64_t started = 0;
    bool length_settled = false;
    bool lyrics_asked = false;
    std::optional<Time> lyrics_wait = {};  // the length's lookup, until then
  };
  std::optional<Playing> playing_;
  // What the hook last heard of each target, by its name.
  std::map<std::string, TargetReport> reported_;
};

}  // namespace receiver
