#include "receiver/outbound/relay_worker.h"

#include <set>
#include <utility>
#include <vector>

namespace receiver {

namespace {

// MusicBrainz takes one request a second from a client: the next search
// goes a second after the last answer at the soonest.
constexpr auto kSearchSpacing = std::chrono::milliseconds(1000);

WebRequest ToWeb(const Outgoing& out) {
  WebRequest request;
  request.method = out.method;
  request.url = out.url;
  request.headers = out.headers;
  request.body = out.body;
  return request;
}

Reply FromWeb(WebReply web) {
  Reply reply;
  reply.answered = web.answered;
  reply.status = web.status;
  reply.wait_seconds = web.wait_seconds;
  reply.failure = std::move(web.failure);
  reply.certificate = web.certificate;
  reply.content_type = std::move(web.content_type);
  reply.body = std::move(web.body);
  return reply;
}

}  // namespace

RelayWorker::RelayWorker(std::wstring folder, TargetSettings settings,
                         RelayHooks hooks, Post post)
    : folder_(std::move(folder)),
      settings_(std::move(settings)),
      hooks_(std::move(hooks)),
      post_(std::move(post)),
      client_(UserAgent(settings_.covers.contact.empty()
                            ? kDefaultContact
                            : std::string_view(settings_.covers.contact))),
      covers_(folder_),
      journal_(folder_) {
  if (!client_.started()) {
    Tell("trackwire_receiver: nothing can be sent to other services: " +
         client_.problem());
  }
  std::string problem;
  for (const Listen& listen : journal_.Load(problem)) {
    kept_[ListenId(listen)] = listen;
  }
  if (!problem.empty()) Tell("trackwire_receiver: " + problem);
  SetUpTargets(nullptr);
}

void RelayWorker::Tell(const std::optional<std::string>& notice) {
  if (notice && hooks_.notice) hooks_.notice(*notice);
}

int RelayWorker::AddTarget(Kind kind, std::string name, std::size_t webhook,
                           std::chrono::milliseconds spacing) {
  const int id = next_id_++;
  Target& target = targets_[id];
  target.kind = kind;
  target.webhook = webhook;
  target.queue = std::make_unique<TargetQueue>(std::move(name), spacing);
  return id;
}

// Drops each target whose settings changed and sets up every target the
// settings name that is not there (all of them at first); each new one gets
// the current song, so that a mended password takes effect at once, while a
// target that stayed the same sends nothing again.
void RelayWorker::SetUpTargets(const TargetSettings* before) {
  const auto same = [this, before](const Target& target) {
    if (!before) return true;
    switch (target.kind) {
      case Kind::kIcecast:
        return before->icecast == settings_.icecast;
      case Kind::kShoutcast:
        return before->shoutcast == settings_.shoutcast;
      case Kind::kListenBrainz:
        return before->listenbrainz == settings_.listenbrainz;
      case Kind::kWebhook:
        return target.webhook < settings_.webhooks.size() &&
               target.webhook < before->webhooks.size() &&
               before->webhooks[target.webhook] ==
                   settings_.webhooks[target.webhook];
      case Kind::kSearch:
      case Kind::kFront:
        return before->covers == settings_.covers;
    }
    return false;
  };
  std::set<std::pair<Kind, std::size_t>> kept;
  for (auto it = targets_.begin(); it != targets_.end();) {
    if (same(it->second)) {
      kept.insert({it->second.kind, it->second.webhook});
      ++it;
    } else {
      it = targets_.erase(it);
    }
  }
  const auto missing = [&kept](Kind kind, std::size_t webhook = 0) {
    return kept.count({kind, webhook}) == 0;
  };
  std::vector<int> added;
  if (settings_.icecast && missing(Kind::kIcecast)) {
    added.push_back(AddTarget(Kind::kIcecast, "Icecast"));
  }
  if (settings_.shoutcast && missing(Kind::kShoutcast)) {
    added.push_back(AddTarget(Kind::kShoutcast, "SHOUTcast"));
  }
  if (!settings_.listenbrainz) {
    listenbrainz_ = 0;
  } else if (missing(Kind::kListenBrainz)) {
    listenbrainz_ = AddTarget(Kind::kListenBrainz, "ListenBrainz");
    added.push_back(listenbrainz_);
    for (const auto& [id, listen] : kept_) {
      targets_[listenbrainz_].queue->Keep(
          SubmitListen(*settings_.listenbrainz, listen), id);
    }
  }
  for (std::size_t i = 0; i < settings_.webhooks.size(); ++i) {
    if (missing(Kind::kWebhook, i)) {
      added.push_back(AddTarget(Kind::kWebhook,
                                "webhook " + settings_.webhooks[i].name, i));
    }
  }
  bool covers_added = false;
  if (!settings_.covers.enabled) {
    musicbrainz_ = coverart_ = 0;
    placeholder_.reset();
    lookups_.clear();
  } else if (missing(Kind::kSearch)) {
    covers_added = true;
    lookups_.clear();
    musicbrainz_ = AddTarget(Kind::kSearch, "MusicBrainz", 0, kSearchSpacing);
    coverart_ = AddTarget(Kind::kFront, "the Cover Art Archive");
    placeholder_.reset();
    if (!settings_.covers.placeholder.empty()) {
      std::string problem;
      placeholder_ =
          covers_.ReadPlaceholder(settings_.covers.placeholder, problem);
      if (!placeholder_) {
        Tell("trackwire_receiver: [covers] placeholder: " + problem);
      }
    }
  }
  if (!playing_) return;
  for (const int id : added) OfferSong(targets_[id]);
  if (covers_added) LookUpCover();
}

void RelayWorker::Apply(TargetSettings settings) {
  if (settings == settings_) return;
  const TargetSettings before = std::move(settings_);
  settings_ = std::move(settings);
  SetUpTargets(&before);
}

void RelayWorker::Song(const receiver::Song& song, std::uint64_t number,
                       std::int64_t unix_seconds) {
  EndListen(unix_seconds);
  playing_ = Playing{song, number, unix_seconds};
  for (auto& [id, target] : targets_) OfferSong(target);
  LookUpCover();
}

void RelayWorker::Idle(std::int64_t unix_seconds) {
  EndListen(unix_seconds);
  playing_.reset();
}

void RelayWorker::Finish(std::int64_t unix_seconds) {
  EndListen(unix_seconds);
  playing_.reset();
  client_.CancelAll();
}

// The song to a playing-now target.
void RelayWorker::OfferSong(Target& target) {
  const receiver::Song& song = playing_->song;
  switch (target.kind) {
    case Kind::kIcecast:
      return target.queue->Latest(IcecastUpdate(*settings_.icecast, song));
    case Kind::kShoutcast:
      return target.queue->Latest(ShoutcastUpdate(*settings_.shoutcast, song));
    case Kind::kListenBrainz:
      return target.queue->Latest(PlayingNow(*settings_.listenbrainz, song));
    case Kind::kWebhook:
      return target.queue->Latest(
          WebhookCall(settings_.webhooks[target.webhook], song));
    case Kind::kSearch:
    case Kind::kFront:
      return;
  }
}

// A song that played long enough is a listen, kept on disk before it goes.
void RelayWorker::EndListen(std::int64_t unix_seconds) {
  if (!playing_ || !CountsAsListen(playing_->started, unix_seconds)) return;
  Listen listen;
  listen.song = playing_->song;
  listen.listened_at = playing_->started;
  playing_.reset();
  if (!settings_.listenbrainz) return;
  KeepListen(listen);
}

void RelayWorker::KeepListen(const Listen& listen) {
  const std::string failure = journal_.Add(listen);
  if (!failure.empty()) Tell("trackwire_receiver: a listen: " + failure);
  const std::string id = ListenId(listen);
  kept_[id] = listen;
  if (listenbrainz_ != 0) {
    targets_[listenbrainz_].queue->Keep(
        SubmitListen(*settings_.listenbrainz, listen), id);
  }
}

std::optional<RelayWorker::Time> RelayWorker::SendDue(Time now) {
  std::optional<Time> next;
  const auto sooner = [&next](Time when) {
    if (!next || when < *next) next = when;
  };
  for (auto& [id, target] : targets_) {
    TargetQueue& queue = *target.queue;
    if (std::optional<Outgoing> request = queue.Next(now)) {
      if (!client_.started()) {
        WebReply lost;
        lost.failure = client_.problem();
        Answered(id, *request, std::move(lost));
        continue;
      }
      client_.Start(ToWeb(*request), [post = post_, id = id,
                                      request = *request](WebReply web) {
        post([id, request, web = std::move(web)](RelayWorker& worker) mutable {
          worker.Answered(id, request, std::move(web));
        });
      });
    }
    if (const std::optional<Time> due = queue.Due()) sooner(*due);
  }
  return next;
}

void RelayWorker::Answered(int id, const Outgoing& request, WebReply web) {
  const auto found = targets_.find(id);
  // A target that the settings have since changed: its answer goes nowhere.
  if (found == targets_.end()) return;
  Target& target = found->second;
  Reply reply = FromWeb(std::move(web));
  if (target.kind == Kind::kSearch) return SearchAnswered(request, reply);
  if (target.kind == Kind::kFront) return FrontAnswered(request, reply);
  const TargetQueue::Outcome outcome =
      target.queue->Answered(std::chrono::steady_clock::now(), reply);
  Tell(outcome.notice);
  if (outcome.accepted_id) {
    const auto kept = kept_.find(*outcome.accepted_id);
    if (kept != kept_.end()) {
      const std::string failure = journal_.Remove(kept->second);
      if (!failure.empty()) Tell("trackwire_receiver: a listen: " + failure);
      kept_.erase(kept);
    }
  }
}

}  // namespace receiver
