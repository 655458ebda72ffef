// The cover: from the cache on disk, else MusicBrainz's release group and the
// Cover Art Archive's front image, a second apart at least.
#include <cstddef>
#include <utility>

#include "receiver/outbound/relay_worker.h"
#include "receiver/relay/cover_key.h"
#include "receiver/system/clock.h"
#include "receiver/text/image_type.h"

namespace receiver {

namespace {

// Lookups whose answers are still of use: the one open and the newest.
constexpr std::size_t kLookupsKept = 4;

// An answer that settles the request, whatever its status said.
Reply Settled() {
  Reply reply;
  reply.answered = true;
  reply.status = 200;
  return reply;
}

}  // namespace

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
  const std::string failure = covers_.ShowNone();
  if (!failure.empty()) Tell("trackwire_receiver: " + failure);
  const Outgoing search =
      ReleaseGroupSearch(settings_.covers, lookup.artist, lookup.album);
  // Only the newest lookup waits (the queue keeps the newest search), and one
  // still open goes on for the cache; the older ones are forgotten.
  if (lookups_.size() >= kLookupsKept) lookups_.clear();
  lookups_[search.url] = lookup;
  targets_[musicbrainz_].queue->Latest(search);
}

// An answer that leaves the lookup open: its queue tries again later, or,
// when it gives up, the lookup is forgotten.
void RelayWorker::NotSettled(TargetQueue& queue, const Outgoing& request,
                             const Reply& reply) {
  const TargetQueue::Outcome outcome =
      queue.Answered(std::chrono::steady_clock::now(), reply);
  Tell(outcome.notice);
  if (outcome.verdict != Verdict::kRetry) lookups_.erase(request.url);
}

void RelayWorker::SearchAnswered(const Outgoing& request, const Reply& reply) {
  TargetQueue& queue = *targets_[musicbrainz_].queue;
  const auto now = std::chrono::steady_clock::now();
  if (Judge(reply) != Verdict::kDone) return NotSettled(queue, request, reply);
  const ReleaseGroupAnswer answer = BestReleaseGroup(reply.body);
  if (!answer.ok) {
    Reply odd;
    odd.failure = "its answer was not a search result";
    return NotSettled(queue, request, odd);
  }
  Tell(queue.Answered(now, reply).notice);
  const auto found = lookups_.find(request.url);
  if (found == lookups_.end()) return;
  const Lookup lookup = found->second;
  lookups_.erase(found);
  if (!answer.id) {
    covers_.KeepNone(lookup.key, UnixSecondsNow());
    return ShowMiss(lookup);
  }
  const Outgoing front = FrontCover(settings_.covers, *answer.id);
  lookups_[front.url] = lookup;
  targets_[coverart_].queue->Latest(front);
}

void RelayWorker::FrontAnswered(const Outgoing& request, const Reply& reply) {
  TargetQueue& queue = *targets_[coverart_].queue;
  const auto now = std::chrono::steady_clock::now();
  const bool none = reply.answered && reply.status == 404;
  const std::string_view type =
      reply.answered && reply.status == 200 ? ImageType(reply.body) : "";
  if (!none && type.empty() && Judge(reply) != Verdict::kDone) {
    return NotSettled(queue, request, reply);
  }
  Tell(queue.Answered(now, Settled()).notice);
  const auto found = lookups_.find(request.url);
  if (found == lookups_.end()) return;
  const Lookup lookup = found->second;
  lookups_.erase(found);
  if (type.empty() || reply.body.size() > kMaxCoverBytes) {
    covers_.KeepNone(lookup.key, UnixSecondsNow());
    return ShowMiss(lookup);
  }
  const std::string failure = covers_.Keep(lookup.key, reply.body);
  if (!failure.empty()) Tell("trackwire_receiver: " + failure);
  ShowFound(lookup, {std::make_shared<const std::string>(reply.body),
                     std::string(type)});
}

void RelayWorker::ShowFound(const Lookup& lookup, CoverCache::Image image) {
  if (!Current(lookup)) return;
  const std::string failure = covers_.Show(*image.bytes);
  if (!failure.empty()) Tell("trackwire_receiver: " + failure);
  if (hooks_.cover) {
    hooks_.cover({lookup.number, lookup.key, std::move(image.bytes),
                  std::move(image.type)});
  }
}

void RelayWorker::ShowMiss(const Lookup& lookup) {
  if (!Current(lookup)) return;
  if (!placeholder_) {
    const std::string failure = covers_.ShowNone();
    if (!failure.empty()) Tell("trackwire_receiver: " + failure);
    return;
  }
  const std::string failure = covers_.Show(*placeholder_->bytes);
  if (!failure.empty()) Tell("trackwire_receiver: " + failure);
  if (hooks_.cover) {
    hooks_.cover({lookup.number, "placeholder", placeholder_->bytes,
                  placeholder_->type});
  }
}

}  // namespace receiver
