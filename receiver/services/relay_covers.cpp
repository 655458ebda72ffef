// The cover: from the cache on disk, else MusicBrainz's release group and the
// Cover Art Archive's front image, a second apart at least.
#include <iterator>
#include <utility>

#include "receiver/services/cover_key.h"
#include "receiver/services/image_type.h"
#include "receiver/services/relay_worker.h"
#include "receiver/system/clock.h"

namespace receiver {

namespace {

// MusicBrainz takes one request a second from a client: the next search
// goes a second after the last answer at the soonest.
constexpr auto kSearchSpacing = std::chrono::milliseconds(1000);

}  // namespace

// The covers' searches go as the latest song's; the lengths' are kept ones,
// after them, a second apart all the same.
void RelayWorker::AddSearchTargets() {
  lookups_.clear();
  recordings_.clear();
  recording_out_.clear();
  musicbrainz_ = AddTarget(Kind::kSearch, "MusicBrainz", {}, kSearchSpacing);
  coverart_ = settings_.covers.enabled
                  ? AddTarget(Kind::kFront, "the Cover Art Archive")
                  : 0;
  placeholder_.reset();
  targets_[musicbrainz_].queue->KeepWith(
      [this](const std::deque<std::string>& urls, std::size_t,
             std::size_t& taken) {
        taken = 1;
        recording_out_ = urls.front();
        const auto found = recordings_.find(urls.front());
        if (found != recordings_.end()) return found->second.request;
        Outgoing lost;
        lost.url = urls.front();
        return lost;
      });
}

bool RelayWorker::Current(const Lookup& lookup) const {
  return playing_ && playing_->number == lookup.number;
}

void RelayWorker::LookUpCover() {
  if (!settings_.covers.enabled || !playing_) return;
  Lookup lookup;
  lookup.artist = playing_->song.artist;
  lookup.album = playing_->song.album;
  lookup.number = playing_->number;
  if (lookup.album.empty()) return ShowMiss(lookup);
  lookup.key = CoverKey(lookup.artist, lookup.album);
  const CoverCache::Cached cached = covers_.Find(lookup.key, UnixSecondsNow());
  if (cached.look == CoverCache::Look::kFound) {
    return ShowFound(lookup, cached.image);
  }
  if (cached.look == CoverCache::Look::kNone) return ShowMiss(lookup);
  // Until it is found, the previous song's cover is not this one's.
  ShowCoverFile(std::nullopt);
  const Outgoing search =
      ReleaseGroupSearch(settings_.covers, lookup.artist, lookup.album);
  // Only the newest lookup waits (the queue keeps the newest search), and one
  // still open goes on for the cache; those that will not go are forgotten.
  lookups_[search.url] = lookup;
  targets_[musicbrainz_].queue->Latest(search);
  ForgetLookups();
}

void RelayWorker::ForgetLookups() {
  const auto search = targets_.find(musicbrainz_);
  const auto front = targets_.find(coverart_);
  for (auto it = lookups_.begin(); it != lookups_.end();) {
    const bool held =
        (search != targets_.end() && search->second.queue->Holds(it->first)) ||
        (front != targets_.end() && front->second.queue->Holds(it->first));
    it = held ? std::next(it) : lookups_.erase(it);
  }
}

// An answer with nothing to read: the queue tries again later, or else the
// album has no cover.
void RelayWorker::Settle(TargetQueue& queue, const Outgoing& request,
                         const Reply& reply) {
  const TargetQueue::Outcome outcome =
      queue.Answered(std::chrono::steady_clock::now(), reply);
  Tell(outcome.notice);
  if (outcome.verdict == Verdict::kRetry) return ForgetLookups();
  Missed(request);
}

void RelayWorker::Miss(TargetQueue& queue, const Outgoing& request,
                       const std::string& what) {
  Tell(queue.Unusable(std::chrono::steady_clock::now(), what).notice);
  Missed(request);
}

// The album looked up by `request` has no cover, for a day.
void RelayWorker::Missed(const Outgoing& request) {
  const auto found = lookups_.find(request.url);
  if (found == lookups_.end()) return;
  const Lookup lookup = found->second;
  lookups_.erase(found);
  const std::string failure = covers_.KeepNone(lookup.key, UnixSecondsNow());
  if (!failure.empty()) Tell("trackwire_receiver: " + failure);
  ShowMiss(lookup);
}

void RelayWorker::SearchAnswered(const Outgoing& request, const Reply& reply) {
  TargetQueue& queue = *targets_[musicbrainz_].queue;
  if (!Readable(reply)) return Settle(queue, request, reply);
  if (reply.too_large) {
    return Miss(queue, request, "'s answer is larger than 8 MB");
  }
  const ReleaseGroupAnswer answer = BestReleaseGroup(reply.body);
  if (!answer.ok) {
    return Miss(queue, request, "'s answer was not a search result");
  }
  Tell(queue.Answered(std::chrono::steady_clock::now(), reply).notice);
  if (!answer.id) return Missed(request);
  const auto found = lookups_.find(request.url);
  if (found == lookups_.end()) return;
  const Lookup lookup = found->second;
  lookups_.erase(found);
  const Outgoing front = FrontCover(settings_.covers, *answer.id);
  lookups_[front.url] = lookup;
  targets_[coverart_].queue->Latest(front);
  ForgetLookups();
}

void RelayWorker::FrontAnswered(const Outgoing& request, const Reply& reply) {
  TargetQueue& queue = *targets_[coverart_].queue;
  if (reply.answered && reply.status == 404) {
    Tell(queue.Answered(std::chrono::steady_clock::now(), Settled()).notice);
    return Missed(request);
  }
  if (!Readable(reply)) return Settle(queue, request, reply);
  if (reply.too_large)
    return Miss(queue, request, "'s cover is larger than 8 MB");
  const std::string_view type = ImageType(reply.body);
  if (type.empty()) {
    return Miss(queue, request,
                "'s cover is not a JPEG, PNG, GIF or WebP image");
  }
  Tell(queue.Answered(std::chrono::steady_clock::now(), reply).notice);
  const auto found = lookups_.find(request.url);
  if (found == lookups_.end()) return;
  const Lookup lookup = found->second;
  lookups_.erase(found);
  const std::string failure = covers_.Keep(lookup.key, reply.body, request.url);
  if (!failure.empty()) Tell("trackwire_receiver: " + failure);
  ShowFound(lookup, {std::make_shared<const std::string>(reply.body),
                     std::string(type), request.url});
}

void RelayWorker::ShowCoverFile(std::optional<std::string> bytes) {
  if (hooks_.cover_file) hooks_.cover_file(std::move(bytes));
}

void RelayWorker::ShowFound(const Lookup& lookup, CoverCache::Image image) {
  if (!Current(lookup)) return;
  ShowCoverFile(*image.bytes);
  if (hooks_.cover) {
    hooks_.cover({lookup.number, lookup.key, std::move(image.bytes),
                  std::move(image.type), std::move(image.url)});
  }
}

void RelayWorker::ShowMiss(const Lookup& lookup) {
  if (!Current(lookup)) return;
  if (!placeholder_) return ShowCoverFile(std::nullopt);
  ShowCoverFile(*placeholder_->bytes);
  if (hooks_.cover) {
    hooks_.cover({lookup.number, "placeholder", placeholder_->bytes,
                  placeholder_->type});
  }
}

}  // namespace receiver
