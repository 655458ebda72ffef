// The song's lyrics: from the cache on disk, else LRCLIB, by the song's
// length once it is known (or no longer waited for), else by its names.
#include <iterator>
#include <memory>
#include <utility>

#include "receiver/lyrics/lrclib.h"
#include "receiver/services/cover_key.h"
#include "receiver/services/relay_worker.h"
#include "receiver/system/clock.h"

namespace receiver {

namespace {

// Only the newest lookup waits (the queue keeps the newest request); one
// still open goes on for the cache, the others are forgotten.
template <typename Lookups>
void ForgetUnheld(Lookups& lookups, const TargetQueue& queue) {
  for (auto it = lookups.begin(); it != lookups.end();) {
    it = queue.Holds(it->first) ? std::next(it) : lookups.erase(it);
  }
}

}  // namespace

void RelayWorker::LookUpLyrics() {
  if (!playing_ || lrclib_ == 0 || playing_->lyrics_asked) return;
  playing_->lyrics_asked = true;
  const receiver::Song& song = playing_->song;
  if (song.artist.empty() || song.title.empty()) return;
  Recording lookup;
  lookup.song = song;
  lookup.key = RecordingKey(song.artist, song.album, song.title);
  lookup.number = playing_->number;
  const AnswerCache::Cached cached = lyrics_.Find(lookup.key, UnixSecondsNow());
  if (cached.look == AnswerCache::Look::kFound) {
    return ShowLyrics(lookup.number, cached.text);
  }
  if (cached.look == AnswerCache::Look::kNone) return;
  const std::string& contact = settings_.covers.contact;
  lookup.search = song.length <= 0;
  lookup.request =
      lookup.search ? LyricsSearch(settings_.lyrics, contact, song)
                    : LyricsGet(settings_.lyrics, contact, song, song.length);
  TargetQueue& queue = *targets_[lrclib_].queue;
  queue.Latest(lookup.request);
  lyric_lookups_[lookup.request.url] = std::move(lookup);
  ForgetUnheld(lyric_lookups_, queue);
}

void RelayWorker::LyricsAnswered(const Outgoing& request, const Reply& reply) {
  TargetQueue& queue = *targets_[lrclib_].queue;
  const auto now = std::chrono::steady_clock::now();
  // LRCLIB's answer for a track it does not have.
  if (reply.answered && reply.status == 404) {
    Tell(queue.Answered(now, Settled()).notice);
    return LyricsFound(request, std::nullopt);
  }
  if (!Readable(reply)) {
    const TargetQueue::Outcome outcome = queue.Answered(now, reply);
    Tell(outcome.notice);
    if (outcome.verdict == Verdict::kRetry) {
      return ForgetUnheld(lyric_lookups_, queue);
    }
    return LyricsFound(request, std::nullopt);
  }
  if (reply.too_large) {
    Tell(queue.Unusable(now, "'s answer is larger than 8 MB").notice);
    return LyricsFound(request, std::nullopt);
  }
  const auto found = lyric_lookups_.find(request.url);
  if (found == lyric_lookups_.end()) {
    Tell(queue.Answered(now, reply).notice);
    return;
  }
  const LyricsAnswer answer =
      found->second.search ? BestSearchAnswer(reply.body, found->second.song)
                           : GetAnswer(reply.body);
  if (!answer.ok) {
    Tell(queue.Unusable(now, "'s answer was not lyrics").notice);
    return LyricsFound(request, std::nullopt);
  }
  Tell(queue.Answered(now, reply).notice);
  LyricsFound(request, answer.record);
}

// Kept for the next time: the record, or a miss for a day.
void RelayWorker::LyricsFound(const Outgoing& request,
                              std::optional<std::string> record) {
  const auto found = lyric_lookups_.find(request.url);
  if (found == lyric_lookups_.end()) return;
  const Recording lookup = std::move(found->second);
  lyric_lookups_.erase(found);
  const std::string failure =
      record ? lyrics_.Keep(lookup.key, *record)
             : lyrics_.KeepNone(lookup.key, UnixSecondsNow());
  if (!failure.empty()) Tell("trackwire_receiver: " + failure);
  if (record) ShowLyrics(lookup.number, *record);
}

void RelayWorker::ShowLyrics(std::uint64_t number, std::string_view record) {
  if (!hooks_.lyrics || !playing_ || playing_->number != number) return;
  Lyrics lyrics = LyricsOfRecord(record);
  if (lyrics.kind == Lyrics::Kind::kNone) return;
  hooks_.lyrics({number, std::make_shared<const Lyrics>(std::move(lyrics))});
}

}  // namespace receiver
