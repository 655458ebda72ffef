#include "receiver/server/song_hub.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "receiver/outbound/relay.h"
#include "receiver/server/event_stream.h"
#include "receiver/server/limits.h"
#include "receiver/songs/settings_watch.h"
#include "receiver/system/clock.h"
#include "receiver/system/console.h"
#include "receiver/text/song_outputs.h"

namespace receiver {

namespace {

// The history files follow a burst of reports once, not at each.
constexpr auto kHistoryDelay = std::chrono::milliseconds(200);
// The UTC offset changes twice a year; asking the system costs time.
constexpr auto kOffsetFresh = std::chrono::seconds(30);

}  // namespace

SongHub::SongHub(HandlerSettings settings, HubSetup setup, CurrentSong& song,
                 SongFileWriter& files)
    : settings_(std::move(settings)),
      format_(std::move(setup.format)),
      receiver_(std::move(setup.settings)),
      song_(song),
      files_(files),
      stored_(std::move(setup.stored)),
      chat_(std::move(setup.chat)),
      cover_(std::move(setup.cover)),
      last_song_(std::chrono::steady_clock::now()) {
  ApplyFormat(receiver_, format_);
  history_.Restore(std::move(setup.history));
  TellChat();
}

void SongHub::Store(Song song) {
  idle_ = false;
  const std::int64_t now = UnixSecondsNow();
  const std::optional<Song> before = song_.Get();
  // The current song reported again (the player restarted) is not new: it
  // keeps its cover and goes out once.
  const bool fresh = history_.Add(song, now, OffsetMinutes());
  if (fresh) {
    song.cover.clear();
    cover_.reset();
    ++song_number_;
  } else if (before) {
    song.cover = before->cover;
  }
  song_.Set(song);
  if (stored_) stored_(song);
  last_song_ = std::chrono::steady_clock::now();
  files_.Write(SongFiles(receiver_, format_, &song, false));
  if (fresh) {
    WriteHistorySoon();
    if (receiver_.log) {
      const HistoryEntry& entry = history_.entries().front();
      files_.Append(LogFileName(entry), LogFileStart(), LogRow(entry));
    }
    if (relay_) relay_->Song(song, song_number_, now);
  }
  PrintLine(LocalClockText() + "  " + TextLine(std::nullopt, song));
  Broadcast(SongEvent(song));
  ArmIdle();
  TellChat();
}

void SongHub::SetCover(const FoundCover& found) {
  std::optional<Song> song = song_.Get();
  if (found.song_number != song_number_ || !song) return;
  song->cover = found.key;
  song_.Set(*song);
  cover_ = CoverImage{found.bytes, found.type};
  files_.Write(SongFiles(receiver_, format_, &*song, idle_));
  if (history_.SetCover(*song, found.key)) WriteHistorySoon();
  Broadcast(SongEvent(*song, idle_));
}

std::string SongHub::ChatLine() const {
  const std::optional<Song> song = song_.Get();
  return receiver::ChatLine(receiver_, song ? &*song : nullptr, idle_);
}

std::string SongHub::HistoryJson() const {
  return receiver::HistoryJson(history_.entries(), kHistoryJsonSongs);
}

void SongHub::Broadcast(const std::string& event) {
  std::deque<std::weak_ptr<EventStream>> alive;
  for (const auto& follower : followers_) {
    if (const auto stream = follower.lock(); stream && !stream->closed()) {
      stream->SendSong(event);
      alive.push_back(stream);
    }
  }
  followers_ = std::move(alive);
}

void SongHub::WriteHistory() {
  const auto line = [this](const Song& song) {
    return NowPlayingLine(receiver_, format_, song);
  };
  files_.Write(
      {{"history.txt",
        HistoryText(history_.entries(),
                    static_cast<std::size_t>(receiver_.history_lines), line)},
       {"history.json",
        receiver::HistoryJson(history_.entries(), kHistoryKept)}});
}

void SongHub::WriteHistorySoon() {
  if (history_due_) return;
  if (!history_timer_) return WriteHistory();
  history_due_ = true;
  history_timer_->expires_after(kHistoryDelay);
  history_timer_->async_wait([this](const boost::system::error_code& error) {
    if (error || !history_due_) return;
    history_due_ = false;
    WriteHistory();
  });
}

int SongHub::OffsetMinutes() {
  const auto now = std::chrono::steady_clock::now();
  if (!offset_read_ || now - *offset_read_ > kOffsetFresh) {
    offset_minutes_ = LocalOffsetMinutes();
    offset_read_ = now;
  }
  return offset_minutes_;
}

void SongHub::TellChat() {
  if (chat_) chat_(ChatLine());
}

void SongHub::Start(boost::asio::io_context& io) {
  idle_timer_ = std::make_unique<boost::asio::steady_timer>(io);
  history_timer_ = std::make_unique<boost::asio::steady_timer>(io);
  last_song_ = std::chrono::steady_clock::now();
  ArmIdle();
}

void SongHub::Finish() {
  idle_timer_.reset();
  history_timer_.reset();
  if (history_due_) {
    history_due_ = false;
    WriteHistory();
  }
}

void SongHub::ArmIdle() {
  if (!idle_timer_) return;
  idle_timer_->cancel();
  if (receiver_.idle_minutes <= 0 || idle_ || !song_.Get()) return;
  const auto after = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::duration<double>(receiver_.idle_minutes * 60));
  idle_timer_->expires_at(last_song_ + after);
  idle_timer_->async_wait([this](const boost::system::error_code& error) {
    if (!error) Clear();
  });
}

void SongHub::Clear() {
  if (idle_) return;
  idle_ = true;
  if (idle_timer_) idle_timer_->cancel();
  const std::optional<Song> song = song_.Get();
  files_.Write(SongFiles(receiver_, format_, song ? &*song : nullptr, true));
  if (song) Broadcast(SongEvent(*song, true));
  if (relay_) relay_->Idle(UnixSecondsNow());
  PrintLine(LocalClockText() + "  (idle)");
  TellChat();
}

void SongHub::ApplySettings(const std::string& bytes) {
  SettingsRead read = ReadSettingsBytes(bytes, receiver_);
  ApplyFormat(read.settings, format_);
  std::string notice;
  for (const std::string& problem : read.problems) {
    notice += (notice.empty() ? "" : "; ") + problem;
  }
  if (read.settings.port != receiver_.port ||
      read.settings.listen != receiver_.listen) {
    notice += std::string(notice.empty() ? "" : "; ") +
              "the new port or address applies at the next start";
  }
  const ReceiverSettings before = std::move(receiver_);
  receiver_ = std::move(read.settings);
  const std::optional<Song> song = song_.Get();
  if (!SameFiles(before, receiver_) && (song || idle_)) {
    files_.Write(SongFiles(receiver_, format_, song ? &*song : nullptr, idle_));
  }
  if (!history_.entries().empty()) WriteHistorySoon();
  if (before.idle_minutes != receiver_.idle_minutes) ArmIdle();
  if (relay_ && !(before.targets == receiver_.targets)) {
    relay_->Apply(receiver_.targets);
  }
  TellChat();
  PrintLine("trackwire_receiver: " + std::string(kSettingsFileName) +
            " applied");
  if (!notice.empty()) {
    PrintError("trackwire_receiver: " + std::string(kSettingsFileName) + ": " +
               notice);
  }
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
