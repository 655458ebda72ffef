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

#include "receiver/outbound/cover_cache.h"
#include "receiver/outbound/listen_journal.h"
#include "receiver/outbound/relay.h"
#include "receiver/outbound/web_client.h"
#include "receiver/relay/answers.h"
#include "receiver/relay/outgoing.h"
#include "receiver/relay/target_queue.h"

namespace receiver {

// What the relay's thread owns: a queue per target, the cover's lookup, the
// listens kept on disk and the client that does the requests. Everything
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
  void Apply(TargetSettings settings);
  // Keeps the current song's listen and gives up what is open.
  void Finish(std::int64_t unix_seconds);

  // Starts what is due; returns when something next falls due.
  std::optional<Time> SendDue(Time now);

 private:
  enum class Kind {
    kIcecast,
    kShoutcast,
    kListenBrainz,
    kWebhook,
    kSearch,
    kFront
  };
  struct Target {
    Kind kind = Kind::kWebhook;
    std::size_t webhook = 0;  // kWebhook: which
    std::unique_ptr<TargetQueue> queue;
  };
  struct Lookup {
    std::string artist;
    std::string album;
    std::string key;
    std::uint64_t number = 0;
  };

  int AddTarget(Kind kind, std::string name, std::size_t webhook = 0,
                std::chrono::milliseconds spacing = {});
  void Answered(int id, const Outgoing& request, WebReply web);
  void Tell(const std::optional<std::string>& notice);
  void SetUpTargets(const TargetSettings* before);
  void OfferSong(Target& target);
  void EndListen(std::int64_t unix_seconds);
  void KeepListen(const Listen& listen);

  // Covers.
  void LookUpCover();
  void NotSettled(TargetQueue& queue, const Outgoing& request,
                  const Reply& reply);
  void SearchAnswered(const Outgoing& request, const Reply& reply);
  void FrontAnswered(const Outgoing& request, const Reply& reply);
  void ShowFound(const Lookup& lookup, CoverCache::Image image);
  void ShowMiss(const Lookup& lookup);
  bool Current(const Lookup& lookup) const;

  const std::wstring folder_;
  TargetSettings settings_;
  const RelayHooks hooks_;
  const Post post_;
  WebClient client_;
  CoverCache covers_;
  ListenJournal journal_;
  std::map<std::string, Listen> kept_;  // by ListenId

  std::map<int, Target> targets_;
  int next_id_ = 1;
  int musicbrainz_ = 0;
  int coverart_ = 0;
  int listenbrainz_ = 0;
  std::optional<CoverCache::Image> placeholder_;
  std::map<std::string, Lookup> lookups_;  // by the request's URL

  struct Playing {
    receiver::Song song;
    std::uint64_t number = 0;
    std::int64_t started = 0;
  };
  std::optional<Playing> playing_;
};

}  // namespace receiver
