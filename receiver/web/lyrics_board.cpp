#include "receiver/web/lyrics_board.h"

#include <utility>

namespace receiver {

namespace {

// The plug-in reports a new title at its next check, a second after it
// began.
constexpr double kCheckDelaySeconds = 1.0;
// A timer may fire a hair early; the line is due by then.
constexpr auto kTimerMargin = std::chrono::milliseconds(1);

}  // namespace

LyricsBoard::LyricsBoard(std::function<void(const std::string&)> line,
                         std::function<void()> changed)
    : line_(std::move(line)), changed_(std::move(changed)) {}

void LyricsBoard::Start(boost::asio::io_context& io) {
  timer_ = std::make_unique<boost::asio::steady_timer>(io);
  // A line left from the last run is not this song's.
  if (enabled_) WriteLine("");
}

void LyricsBoard::Finish() { timer_.reset(); }

void LyricsBoard::Apply(bool enabled, double offset) {
  const bool was = enabled_;
  const bool moved = offset != offset_;
  enabled_ = enabled;
  offset_ = offset;
  if (!enabled) {
    if (!was) return;
    lyrics_.reset();
    Settle();
    WriteLine("");
    changed_();
  } else if (moved && lyrics_) {
    Settle();
    changed_();
  }
}

void LyricsBoard::NewSong(Clock::time_point arrival) {
  arrival_ = arrival;
  const bool had = lyrics_ != nullptr;
  lyrics_.reset();
  if (!enabled_) return;
  Settle();
  if (had) changed_();
}

void LyricsBoard::Show(std::shared_ptr<const Lyrics> lyrics) {
  if (!enabled_) return;
  lyrics_ = std::move(lyrics);
  Settle();
  changed_();
}

void LyricsBoard::Stop() {
  if (!lyrics_ && written_ && written_->empty()) return;
  lyrics_.reset();
  Settle();
  if (enabled_) changed_();
}

std::string LyricsBoard::Json(Clock::time_point now) const {
  return LyricsJson(enabled_ ? lyrics_.get() : nullptr, Elapsed(now));
}

double LyricsBoard::Elapsed(Clock::time_point now) const {
  return std::chrono::duration<double>(now - arrival_).count() +
         kCheckDelaySeconds - offset_;
}

void LyricsBoard::Settle() {
  if (timer_) timer_->cancel();
  if (!enabled_) return;
  std::string text;
  if (lyrics_ && lyrics_->kind == Lyrics::Kind::kSynced) {
    const double at = Elapsed(Clock::now());
    const int index = LineAt(lyrics_->lines, at);
    if (index >= 0) text = lyrics_->lines[static_cast<std::size_t>(index)].text;
    const std::optional<double> next = NextLineStart(lyrics_->lines, at);
    if (next && timer_) {
      const auto after = std::chrono::duration_cast<Clock::duration>(
          std::chrono::duration<double>(*next - kCheckDelaySeconds + offset_));
      timer_->expires_at(arrival_ + after + kTimerMargin);
      timer_->async_wait([this](const boost::system::error_code& error) {
        if (!error) Settle();
      });
    }
  }
  WriteLine(text);
}

void LyricsBoard::WriteLine(const std::string& text) {
  if (written_ == text) return;
  written_ = text;
  line_(text);
}

}  // namespace receiver
