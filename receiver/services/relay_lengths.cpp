// The song's length: from the cache on disk, else MusicBrainz's recording
// search, in the covers' queue. The lyrics wait for it, a few seconds at
// most.
#include <iterator>
#include <utility>

#include "receiver/services/cover_key.h"
#include "receiver/services/relay_worker.h"
#include "receiver/system/clock.h"

namespace receiver {

namespace {

constexpr auto kLyricsWaitForLength = std::chrono::seconds(5);

// A cached length: its digits.
std::optional<int> CachedLength(const std::string& text) {
  int seconds = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    seconds = seconds * 10 + (c - '0');
    if (seconds > kMaxSongLength) return std::nullopt;
  }
  if (seconds <= 0) return std::nullopt;
  return seconds;
}

}  // namespace

bool RelayWorker::IsRecordingSearch(const std::string& url) const {
  std::string base = settings_.covers.musicbrainz;
  while (!base.empty() && base.back() == '/') base.pop_back();
  base += "/ws/2/recording/";
  return url.compare(0, base.size(), base) == 0;
}

void RelayWorker::LookUpLength() {
  if (!playing_) return;
  const receiver::Song& song = playing_->song;
  if (musicbrainz_ == 0 || song.artist.empty() || song.title.empty()) {
    return LengthSettled(playing_->number);
  }
  Recording recording;
  recording.song = song;
  recording.key = RecordingKey(song.artist, song.album, song.title);
  recording.number = playing_->number;
  recording.request =
      RecordingSearch(settings_.covers, song.artist, song.album, song.title);
  const std::string url = recording.request.url;
  // Only the current song's length waits; one in flight goes on for the
  // cache.
  std::vector<std::string> gone;
  for (auto it = recordings_.begin(); it != recordings_.end();) {
    if (it->first == url) {
      ++it;
      continue;
    }
    gone.push_back(it->first);
    it = it->first == recording_out_ ? std::next(it) : recordings_.erase(it);
  }
  TargetQueue& queue = *targets_[musicbrainz_].queue;
  if (!gone.empty()) queue.Forget(gone);
  const AnswerCache::Cached cached =
      lengths_.Find(recording.key, UnixSecondsNow());
  if (cached.look == AnswerCache::Look::kFound) {
    if (const std::optional<int> seconds = CachedLength(cached.text)) {
      playing_->song.length = *seconds;
      if (hooks_.length) hooks_.length({playing_->number, *seconds});
      return LengthSettled(playing_->number);
    }
  } else if (cached.look == AnswerCache::Look::kNone) {
    return LengthSettled(playing_->number);
  }
  if (settings_.lyrics.enabled) {
    playing_->lyrics_wait =
        std::chrono::steady_clock::now() + kLyricsWaitForLength;
  }
  const bool queued = recordings_.count(url) != 0;
  recordings_[url] = std::move(recording);
  if (!queued) queue.Keep(url);
}

void RelayWorker::LengthAnswered(const Outgoing& request, const Reply& reply) {
  recording_out_.clear();
  TargetQueue& queue = *targets_[musicbrainz_].queue;
  const auto now = std::chrono::steady_clock::now();
  if (!Readable(reply)) {
    const TargetQueue::Outcome outcome = queue.Answered(now, reply);
    Tell(outcome.notice);
    if (outcome.verdict != Verdict::kRetry) {
      return LengthFound(request, std::nullopt);
    }
    // The queue asks again for the current song's; the lyrics do not wait.
    const auto found = recordings_.find(request.url);
    if (found == recordings_.end()) return;
    const std::uint64_t number = found->second.number;
    if (!playing_ || playing_->number != number) recordings_.erase(found);
    return LengthSettled(number);
  }
  if (reply.too_large) {
    Tell(queue.Unusable(now, "'s answer is larger than 8 MB").notice);
    return LengthFound(request, std::nullopt);
  }
  const RecordingAnswer answer = BestRecording(reply.body);
  if (!answer.ok) {
    Tell(queue.Unusable(now, "'s answer was not a search result").notice);
    return LengthFound(request, std::nullopt);
  }
  Tell(queue.Answered(now, reply).notice);
  LengthFound(request, answer.seconds);
}

// What the search found, kept for the next time: a length, or a miss for a
// day.
void RelayWorker::LengthFound(const Outgoing& request,
                              std::optional<int> seconds) {
  const auto found = recordings_.find(request.url);
  if (found == recordings_.end()) return;
  const Recording recording = std::move(found->second);
  recordings_.erase(found);
  const std::string failure =
      seconds ? lengths_.Keep(recording.key, std::to_string(*seconds))
              : lengths_.KeepNone(recording.key, UnixSecondsNow());
  if (!failure.empty()) Tell("trackwire_receiver: " + failure);
  if (seconds && playing_ && playing_->number == recording.number) {
    playing_->song.length = *seconds;
    if (hooks_.length) hooks_.length({recording.number, *seconds});
  }
  LengthSettled(recording.number);
}

void RelayWorker::LengthSettled(std::uint64_t number) {
  if (!playing_ || playing_->number != number || playing_->length_settled) {
    return;
  }
  playing_->length_settled = true;
  playing_->lyrics_wait.reset();
  LookUpLyrics();
}

std::optional<RelayWorker::Time> RelayWorker::LyricsWaitDue(Time now) {
  if (!playing_ || playing_->length_settled || !playing_->lyrics_wait) {
    return std::nullopt;
  }
  if (now < *playing_->lyrics_wait) return playing_->lyrics_wait;
  LengthSettled(playing_->number);
  return std::nullopt;
}

}  // namespace receiver
