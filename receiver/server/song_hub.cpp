#include "receiver/server/song_hub.h"

#include <algorithm>
#include <utility>

#include "receiver/server/event_stream.h"
#include "receiver/server/limits.h"
#include "receiver/system/clock.h"
#include "receiver/system/console.h"

namespace receiver {

SongHub::SongHub(HandlerSettings settings, std::optional<std::string> format,
                 CurrentSong& song, SongFileWriter& files,
                 std::function<void(const Song&)> stored)
    : settings_(std::move(settings)),
      format_(std::move(format)),
      song_(song),
      files_(files),
      stored_(std::move(stored)) {}

void SongHub::Store(Song song) {
  song_.Set(song);
  if (stored_) stored_(song);
  files_.Write(TextLine(format_, song), SongFileJson(&song), song);
  PrintLine(LocalClockText() + "  " + TextLine(std::nullopt, song));
  const std::string event = SongEvent(song);
  std::deque<std::weak_ptr<EventStream>> alive;
  for (const auto& follower : followers_) {
    if (const auto stream = follower.lock(); stream && !stream->closed()) {
      stream->SendSong(event);
      alive.push_back(stream);
    }
  }
  followers_ = std::move(alive);
}

void SongHub::Follow(const std::shared_ptr<EventStream>& stream) {
  followers_.erase(std::remove_if(followers_.begin(), followers_.end(),
                                  [](const auto& follower) {
                                    const auto alive = follower.lock();
                                    return !alive || alive->closed();
                                  }),
                   followers_.end());
  while (followers_.size() >= limits::kFollowers) {
    if (const auto oldest = followers_.front().lock()) oldest->Close();
    followers_.pop_front();
  }
  followers_.push_back(stream);
}

void SongHub::NoteRefusedHost(const RefusedHost& refused) {
  if (const std::optional<std::string> line = refused_hosts_.Note(refused)) {
    PrintError(*line);
  }
}

}  // namespace receiver
