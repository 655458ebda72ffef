// The listens that ListenBrainz and Last.fm take, each service with a
// journal of its own: kept on disk before they go, sent as many a request as
// the service allows, and settled by the answer.
#include <algorithm>
#include <set>

#include "receiver/lastfm/lastfm_answers.h"
#include "receiver/lastfm/lastfm_calls.h"
#include "receiver/services/relay_worker.h"
#include "receiver/system/code_page.h"

namespace receiver {

RelayWorker::Scrobbler::Scrobbler(const std::wstring& folder,
                                  std::string_view file,
                                  ListenJournal::Tell tell)
    : journal(folder, Utf8ToWide(std::string(file)), std::move(tell)) {}

RelayWorker::Scrobbler* RelayWorker::ScrobblerOf(Kind kind) {
  if (kind == Kind::kListenBrainz) return &listenbrainz_;
  if (kind == Kind::kLastFm) return &lastfm_;
  return nullptr;
}

bool RelayWorker::CarriesListens(int id) const {
  return listenbrainz_.out.count(id) != 0 || lastfm_.out.count(id) != 0;
}

// A song that played long enough is a listen, kept on disk before it goes.
void RelayWorker::EndListen(std::int64_t unix_seconds) {
  if (!playing_) return;
  const std::optional<Listen> listen =
      ListenOf(playing_->song, playing_->started, unix_seconds);
  if (!listen) return;
  playing_.reset();
  if (settings_.listenbrainz) KeepListen(listenbrainz_, *listen);
  if (settings_.lastfm && !settings_.lastfm->session.empty() &&
      Scrobbleable(listen->song)) {
    KeepListen(lastfm_, *listen);
  }
}

void RelayWorker::KeepListen(Scrobbler& scrobbler, const Listen& listen) {
  std::vector<std::string> dropped;
  const bool added = scrobbler.journal.Add(listen, dropped);
  if (scrobbler.target == 0) return;
  TargetQueue& queue = *targets_[scrobbler.target].queue;
  if (!dropped.empty()) queue.Forget(dropped);
  if (added) queue.Keep(ListenId(listen));
}

// A new queue takes every kept listen but those in flight to the one it
// replaced: their answer settles them first.
void RelayWorker::QueueListens(Scrobbler& scrobbler, Kind kind) {
  TargetQueue& queue = *targets_[scrobbler.target].queue;
  queue.KeepWith([this, &scrobbler, kind, id = scrobbler.target](
                     const std::deque<std::string>& ids, std::size_t most,
                     std::size_t& taken) {
    const std::size_t per_request =
        kind == Kind::kLastFm ? kScrobblesPerRequest : kListensPerRequest;
    std::vector<const Listen*> listens;
    while (listens.size() < std::min(most, per_request)) {
      listens.push_back(scrobbler.journal.listens().Find(ids[listens.size()]));
    }
    Outgoing request =
        kind == Kind::kLastFm
            ? LastFmScrobbles(*settings_.lastfm, listens, taken)
            : SubmitListens(*settings_.listenbrainz, listens, taken);
    scrobbler.out[id].assign(ids.begin(), ids.begin() + taken);
    return request;
  });
  std::set<std::string> out;
  for (const auto& [target, ids] : scrobbler.out) {
    out.insert(ids.begin(), ids.end());
  }
  for (const std::string& listen : scrobbler.journal.listens().ids()) {
    if (out.count(listen) == 0) queue.Keep(listen);
  }
}

// Listens a replaced target carried: taken, they leave the journal; else
// they go to the queue that replaced it.
void RelayWorker::ReplacedAnswered(int id, const Reply& reply) {
  for (Scrobbler* scrobbler : {&listenbrainz_, &lastfm_}) {
    const auto out = scrobbler->out.find(id);
    if (out == scrobbler->out.end()) continue;
    std::vector<std::string> ids = std::move(out->second);
    scrobbler->out.erase(out);
    const Reply judged = scrobbler == &lastfm_ ? LastFmJudged(reply) : reply;
    if (Judge(judged) == Verdict::kDone) {
      scrobbler->journal.Remove(ids);
      continue;
    }
    if (scrobbler->target == 0) continue;
    for (std::string& listen : ids) {
      if (scrobbler->journal.listens().Find(listen)) {
        targets_[scrobbler->target].queue->Keep(std::move(listen));
      }
    }
  }
}

}  // namespace receiver
