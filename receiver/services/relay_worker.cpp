#include "receiver/services/relay_worker.h"

#include <algorithm>
#include <deque>
#include <set>
#include <utility>
#include <vector>

#include "receiver/lastfm/lastfm_answers.h"
#include "receiver/lastfm/lastfm_calls.h"
#include "receiver/songs/own_files.h"
#include "receiver/system/code_page.h"

namespace receiver {

namespace {

WebRequest ToWeb(const Outgoing& out) {
  WebRequest request;
  request.method = out.method;
  request.url = out.url;
  request.headers = out.headers;
  request.body = out.body;
  request.follow_redirects = out.follow_redirects;
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
  reply.too_large = web.too_large;
  reply.redirect = std::move(web.redirect);
  return reply;
}

const WebhookSettings* Named(const TargetSettings& settings,
                             const std::string& name) {
  for (const WebhookSettings& webhook : settings.webhooks) {
    if (webhook.name == name) return &webhook;
  }
  return nullptr;
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
      lengths_(folder_, kLengthsFolder, L".length", 16),
      lyrics_(folder_, kLyricsFolder, L".json", 1024 * 1024),
      listenbrainz_(folder_, kListensFile,
                    [this](const std::string& text) {
                      Tell("trackwire_receiver: " + text);
                    }),
      lastfm_(folder_, kScrobblesFile, [this](const std::string& text) {
        Tell("trackwire_receiver: " + text);
      }) {
  if (!client_.started()) {
    Tell("trackwire_receiver: nothing can be sent to other services: " +
         client_.problem());
  }
  listenbrainz_.journal.Load();
  lastfm_.journal.Load();
  SetUpTargets(nullptr);
  TellLastFm();
}

void RelayWorker::Tell(const std::optional<std::string>& notice) {
  if (notice && hooks_.notice) hooks_.notice(*notice);
}

int RelayWorker::AddTarget(Kind kind, std::string name, std::string webhook,
                           std::chrono::milliseconds spacing) {
  const int id = next_id_++;
  Target& target = targets_[id];
  target.kind = kind;
  target.name = name;
  target.webhook = std::move(webhook);
  const bool covers =
      kind == Kind::kSearch || kind == Kind::kFront || kind == Kind::kLyrics;
  target.queue = std::make_unique<TargetQueue>(
      std::move(name), spacing,
      covers ? TargetQueue::Kind::kCovers : TargetQueue::Kind::kSongs);
  return id;
}

// Drops each target whose settings changed, and what it has open, and sets
// up every target the settings name that is not there (all of them at
// first); each new one gets the current song, so that a mended password
// takes effect at once, while a target that stayed the same sends nothing
// again. Webhooks go by their names.
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
      case Kind::kLastFm:
        return before->lastfm == settings_.lastfm;
      case Kind::kWebhook: {
        const WebhookSettings* was = Named(*before, target.webhook);
        const WebhookSettings* is = Named(settings_, target.webhook);
        return was && is && *was == *is;
      }
      case Kind::kSearch:
      case Kind::kFront:
        return before->covers == settings_.covers &&
               LengthsWanted(*before) == LengthsWanted(settings_);
      case Kind::kLyrics:
        return before->lyrics.enabled == settings_.lyrics.enabled &&
               before->lyrics.url == settings_.lyrics.url &&
               before->covers.contact == settings_.covers.contact;
    }
    return false;
  };
  std::set<std::pair<Kind, std::string>> kept;
  for (auto it = targets_.begin(); it != targets_.end();) {
    if (same(it->second)) {
      kept.insert({it->second.kind, it->second.webhook});
      ++it;
    } else {
      // Listens on their way are left to their answer, which settles them
      // whichever queue holds them by then.
      if (it->second.open != 0 && !CarriesListens(it->first)) {
        client_.Cancel(it->second.open);
      }
      it = targets_.erase(it);
    }
  }
  const auto missing = [&kept](Kind kind, const std::string& webhook = {}) {
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
    listenbrainz_.target = 0;
  } else if (missing(Kind::kListenBrainz)) {
    listenbrainz_.target = AddTarget(Kind::kListenBrainz, "ListenBrainz");
    added.push_back(listenbrainz_.target);
    QueueListens(listenbrainz_, Kind::kListenBrainz);
  }
  // Last.fm scrobbles once it is connected.
  if (!settings_.lastfm || settings_.lastfm->session.empty()) {
    lastfm_.target = 0;
  } else if (missing(Kind::kLastFm)) {
    lastfm_.target = AddTarget(Kind::kLastFm, "Last.fm");
    // Playing now is never sent again.
    targets_[lastfm_.target].queue->LatestOnce();
    added.push_back(lastfm_.target);
    QueueListens(lastfm_, Kind::kLastFm);
  }
  for (const WebhookSettings& webhook : settings_.webhooks) {
    if (missing(Kind::kWebhook, webhook.name)) {
      added.push_back(
          AddTarget(Kind::kWebhook, "webhook " + webhook.name, webhook.name));
    }
  }
  bool covers_added = false;
  if (!LengthsWanted(settings_)) {
    musicbrainz_ = coverart_ = 0;
    placeholder_.reset();
    lookups_.clear();
    recordings_.clear();
    recording_out_.clear();
  } else if (missing(Kind::kSearch)) {
    covers_added = true;
    AddSearchTargets();
    if (settings_.covers.enabled && !settings_.covers.placeholder.empty()) {
      std::string problem;
      placeholder_ =
          covers_.ReadPlaceholder(settings_.covers.placeholder, problem);
      if (!placeholder_) {
        Tell("trackwire_receiver: [covers] placeholder: " + problem);
      }
    }
  }
  bool lyrics_added = false;
  if (!settings_.lyrics.enabled) {
    lrclib_ = 0;
    lyric_lookups_.clear();
  } else if (missing(Kind::kLyrics)) {
    lyrics_added = true;
    lyric_lookups_.clear();
    lrclib_ = AddTarget(Kind::kLyrics, "LRCLIB");
  }
  if (!playing_) return;
  for (const int id : added) {
    Target& target = targets_[id];
    const auto sent = sent_.find(target.name);
    const std::optional<Outgoing> request = SongRequest(target);
    if (sent != sent_.end() && request &&
        sent->second.song == playing_->number &&
        sent->second.request == *request) {
      continue;
    }
    OfferSong(target);
  }
  if (lyrics_added) playing_->lyrics_asked = false;
  if (covers_added) {
    LookUpCover();
    LookUpLength();
  }
  if (lyrics_added && playing_->length_settled) LookUpLyrics();
}

void RelayWorker::Apply(TargetSettings settings) {
  // The user may have mended a refusal on the service's side: a save, even
  // of the same settings, tries again.
  for (auto& [id, target] : targets_) {
    if (target.kind != Kind::kSearch && target.kind != Kind::kFront &&
        target.kind != Kind::kLyrics) {
      target.queue->Reset();
    }
  }
  if (settings == settings_) return;
  const TargetSettings before = std::move(settings_);
  settings_ = std::move(settings);
  SetUpTargets(&before);
  TellLastFm();
}

void RelayWorker::Song(const receiver::Song& song, std::uint64_t number,
                       std::int64_t unix_seconds) {
  EndListen(unix_seconds);
  playing_ = Playing{song, number, unix_seconds};
  for (auto& [id, target] : targets_) OfferSong(target);
  LookUpCover();
  LookUpLength();
}

void RelayWorker::Idle(std::int64_t unix_seconds) {
  EndListen(unix_seconds);
  playing_.reset();
}

void RelayWorker::Finish(std::int64_t unix_seconds, Time end) {
  EndListen(unix_seconds);
  playing_.reset();
  finish_end_ = end;
}

void RelayWorker::GiveUp() {
  client_.CancelAll(
      std::max(std::chrono::duration_cast<std::chrono::milliseconds>(
                   finish_end_ - std::chrono::steady_clock::now()),
               std::chrono::milliseconds(0)));
}

// The current song's request to a playing-now target.
std::optional<Outgoing> RelayWorker::SongRequest(const Target& target) const {
  const receiver::Song& song = playing_->song;
  switch (target.kind) {
    case Kind::kIcecast:
      return IcecastUpdate(*settings_.icecast, song);
    case Kind::kShoutcast:
      return ShoutcastUpdate(*settings_.shoutcast, song);
    case Kind::kListenBrainz:
      return PlayingNow(*settings_.listenbrainz, song);
    case Kind::kLastFm:
      if (!Scrobbleable(song)) return std::nullopt;
      return LastFmNowPlaying(*settings_.lastfm, song);
    case Kind::kWebhook:
      if (const WebhookSettings* webhook = Named(settings_, target.webhook)) {
        return WebhookCall(*webhook, song);
      }
      return std::nullopt;
    case Kind::kSearch:
    case Kind::kFront:
    case Kind::kLyrics:
      return std::nullopt;
  }
  return std::nullopt;
}

void RelayWorker::OfferSong(Target& target) {
  std::optional<Outgoing> request = SongRequest(target);
  if (!request) return;
  target.offered = Offer{playing_->number, *request};
  target.queue->Latest(std::move(*request));
}

void RelayWorker::ReportHealth() {
  if (!hooks_.target) return;
  std::map<std::string, TargetReport> now;
  for (const auto& [id, target] : targets_) {
    TargetReport report;
    report.name = target.name;
    report.health = target.queue->health();
    report.problem = target.queue->problem();
    const auto before = reported_.find(target.name);
    if (before == reported_.end() || before->second.health != report.health ||
        before->second.problem != report.problem) {
      hooks_.target(report);
    }
    now[target.name] = std::move(report);
  }
  for (auto& [name, report] : reported_) {
    if (now.count(name) != 0) continue;
    report.gone = true;
    hooks_.target(report);
  }
  reported_ = std::move(now);
}

std::optional<RelayWorker::Time> RelayWorker::SendDue(Time now) {
  // Every command and answer comes before a call of this.
  ReportHealth();
  std::optional<Time> next = LyricsWaitDue(now);
  const auto sooner = [&next](Time when) {
    if (!next || when < *next) next = when;
  };
  if (std::optional<Outgoing> ask = connect_.Next(now)) {
    if (client_.started()) {
      client_.Start(ToWeb(*ask), [post = post_,
                                  attempt = connect_.attempt()](WebReply web) {
        post([attempt, web = std::move(web)](RelayWorker& worker) mutable {
          worker.ConnectAnswered(attempt, FromWeb(std::move(web)));
        });
      });
    } else {
      Reply lost;
      lost.failure = client_.problem();
      ConnectAnswered(connect_.attempt(), std::move(lost));
    }
  }
  if (const std::optional<Time> due = connect_.Due()) sooner(*due);
  for (auto& [id, target] : targets_) {
    TargetQueue& queue = *target.queue;
    if (std::optional<Outgoing> request = queue.Next(now)) {
      if (!client_.started()) {
        WebReply lost;
        lost.failure = client_.problem();
        Answered(id, *request, std::move(lost));
        continue;
      }
      target.open = client_.Start(ToWeb(*request), [post = post_, id = id,
                                                    request = *request](
                                                       WebReply web) {
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
  // A target that the settings have since changed: its answer goes nowhere
  // but for the listens it carried.
  if (found == targets_.end()) {
    return ReplacedAnswered(id, FromWeb(std::move(web)));
  }
  Target& target = found->second;
  target.open = 0;
  Reply reply = FromWeb(std::move(web));
  if (target.kind == Kind::kSearch) {
    return IsRecordingSearch(request.url) ? LengthAnswered(request, reply)
                                          : SearchAnswered(request, reply);
  }
  if (target.kind == Kind::kLyrics) return LyricsAnswered(request, reply);
  if (target.kind == Kind::kFront) return FrontAnswered(request, reply);
  if (target.kind == Kind::kLastFm) reply = LastFmJudged(std::move(reply));
  const TargetQueue::Outcome outcome =
      target.queue->Answered(std::chrono::steady_clock::now(), reply);
  Tell(outcome.notice);
  if (outcome.verdict == Verdict::kDone && target.offered &&
      target.offered->request == request) {
    sent_[target.name] = *target.offered;
  }
  if (Scrobbler* scrobbler = ScrobblerOf(target.kind)) {
    scrobbler->out.erase(id);
    if (!outcome.settled.empty()) scrobbler->journal.Remove(outcome.settled);
  }
}

}  // namespace receiver
