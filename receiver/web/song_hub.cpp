#include "receiver/web/song_hub.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "receiver/discord/discord_presence.h"
#include "receiver/services/relay.h"
#include "receiver/settings/settings_load.h"
#include "receiver/songs/own_files.h"
#include "receiver/songs/song_outputs.h"
#include "receiver/system/clock.h"
#include "receiver/system/console.h"
#include "receiver/web/event_stream.h"
#include "receiver/web/limits.h"
#include "receiver/web/settings_desk.h"

namespace receiver {

namespace {

// The history files follow a burst of reports once, not at each.
constexpr auto kHistoryDelay = std::chrono::milliseconds(200);
// The UTC offset changes twice a year; asking the system costs time.
constexpr auto kOffsetFresh = std::chrono::seconds(30);
// The plug-in reports a title once it has played for its check's second.
constexpr std::int64_t kCheckDelayMs = 1000;

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
      problems_hook_(std::move(setup.problems)),
      listen_(std::move(setup.listen)),
      page_(std::move(setup.page)),
      folder_(std::move(setup.folder)),
      history_file_(setup.history_file),
      cover_(std::move(setup.cover)),
      last_song_(std::chrono::steady_clock::now()),
      lyrics_(
          [this](const std::string& line) {
            files_.Write({{std::string(kLyricsTextFile), line}});
          },
          [this] { Broadcast("event: lyrics\ndata: {}\n\n"); }) {
  ApplyFormat(receiver_, format_);
  lyrics_.Apply(receiver_.targets.lyrics.enabled,
                receiver_.targets.lyrics.offset);
  history_.Restore(std::move(setup.history));
  SetSettingsProblems(setup.settings_problems, setup.settings_file_problem);
  TellChat();
}

void SongHub::Store(Song song) {
  const bool was_idle = idle_;
  idle_ = false;
  const std::int64_t now = UnixSecondsNow();
  const std::optional<Song> before = song_.Get();
  // The current song reported again (the player restarted) is not new: it
  // keeps its cover and length and goes out once.
  const bool fresh = history_.Add(song, now, OffsetMinutes());
  if (fresh) {
    song.cover.clear();
    cover_.reset();
    cover_url_.clear();
    ++song_number_;
  } else if (before) {
    song.cover = before->cover;
    song.length = before->length;
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
  }
  // After idle the services have no song: the same one goes out again.
  if (fresh || was_idle) lyrics_.NewSong(last_song_);
  if ((fresh || was_idle) && relay_) relay_->Song(song, song_number_, now);
  if (fresh || was_idle) song_start_ms_ = UnixMillisecondsNow() - kCheckDelayMs;
  TellPresence();
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
  cover_url_ = found.url;
  files_.Write(SongFiles(receiver_, format_, &*song, idle_));
  if (history_.SetCover(*song, found.key)) WriteHistorySoon();
  Broadcast(SongEvent(*song, idle_));
  TellPresence();
}

void SongHub::TellPresence() {
  const std::optional<Song> song = song_.Get();
  if (!presence_ || !song || idle_) return;
  Playing playing;
  playing.number = song_number_;
  playing.artist = song->artist;
  playing.album = song->album;
  playing.title = song->title;
  playing.start_ms = song_start_ms_;
  playing.length = song->length;
  playing.cover_url = cover_url_;
  presence_->Show(std::move(playing));
}

void SongHub::SetLength(const FoundLength& found) {
  std::optional<Song> song = song_.Get();
  if (found.song_number != song_number_ || !song) return;
  song->length = found.seconds;
  song_.Set(*song);
  files_.Write(SongFiles(receiver_, format_, &*song, idle_));
  if (history_.SetLength(*song, found.seconds)) WriteHistorySoon();
  Broadcast(SongEvent(*song, idle_));
  TellPresence();
}

void SongHub::SetLyrics(const FoundLyrics& found) {
  if (found.song_number == song_number_ && !idle_) lyrics_.Show(found.lyrics);
}

std::string SongHub::LyricsJson() const {
  return lyrics_.Json(std::chrono::steady_clock::now());
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
      {{std::string(kHistoryTextFile),
        HistoryText(history_.entries(),
                    static_cast<std::size_t>(receiver_.history_lines), line)}});
  if (history_file_) {
    files_.Write({{std::string(kHistoryJsonFile),
                   receiver::HistoryJson(history_.entries(), kHistoryKept)}},
                 Durability::kFlushed);
  }
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
  lyrics_.Start(io);
  ArmIdle();
}

void SongHub::Finish() {
  idle_timer_.reset();
  history_timer_.reset();
  lyrics_.Finish();
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
  lyrics_.Stop();
  if (relay_) relay_->Idle(UnixSecondsNow());
  if (presence_) presence_->Clear();
  PrintLine(LocalClockText() + "  (idle)");
  TellChat();
}

void SongHub::ApplySettings(const std::string& bytes) {
  SettingsRead read = ReadSettingsBytes(bytes, receiver_);
  ApplyFormat(read.settings, format_);
  std::string notice = ProblemsText(read.problems);
  if (read.settings.port != receiver_.port ||
      read.settings.listen != receiver_.listen) {
    notice += std::string(notice.empty() ? "" : "; ") +
              "the new port or address applies at the next start";
  }
  SetSettingsProblems(read.problems);
  const ReceiverSettings before = std::move(receiver_);
  receiver_ = std::move(read.settings);
  const std::optional<Song> song = song_.Get();
  if (!SameFiles(before, receiver_) && (song || idle_)) {
    files_.Write(SongFiles(receiver_, format_, song ? &*song : nullptr, idle_));
    // A file no longer written would show its last song on stream forever.
    std::vector<OutputFile> emptied;
    std::string names;
    for (std::string& name : StoppedFiles(before, receiver_)) {
      names += (names.empty() ? "" : ", ") + name;
      emptied.push_back({std::move(name), {}});
    }
    if (!emptied.empty()) {
      notice += std::string(notice.empty() ? "" : "; ") + names +
                (emptied.size() == 1 ? " is" : " are") +
                " no longer among the song files: emptied, and written no more";
      files_.Write(std::move(emptied));
    }
  }
  if (!history_.entries().empty()) WriteHistorySoon();
  if (before.idle_minutes != receiver_.idle_minutes) ArmIdle();
  lyrics_.Apply(receiver_.targets.lyrics.enabled,
                receiver_.targets.lyrics.offset);
  // Even unchanged: a save tries a refused service again.
  if (relay_) relay_->Apply(receiver_.targets);
  if (presence_) presence_->Apply(receiver_.discord);
  TellChat();
  PrintLine("trackwire_receiver: " + std::string(kSettingsFileName) +
            " applied");
  if (!notice.empty()) {
    PrintError("trackwire_receiver: " + std::string(kSettingsFileName) + ": " +
               notice);
  }
}

void SongHub::SetUserStyle(std::optional<std::string> style) {
  style_ = std::move(style);
  Broadcast("event: style\ndata: {}\n\n");
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
