#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>

#include "receiver/lyrics/lrclib.h"

namespace receiver {

// The song's lyrics on the server's thread: the line being sung, kept in
// time by a timer from the song's start (its report's arrival less the
// plug-in's one-second check, plus [lyrics] offset), for lyrics.txt, and
// all of them for /lyrics.json. The plug-in sends no position: a seek or a
// pause puts them out of step until the next song.
class LyricsBoard {
 public:
  using Clock = std::chrono::steady_clock;

  // `line`: the line now sung, "" for none, at each change; `changed`: the
  // lyrics themselves changed (new ones, or none).
  LyricsBoard(std::function<void(const std::string&)> line,
              std::function<void()> changed);

  // The timer runs on `io` from Start until Finish.
  void Start(boost::asio::io_context& io);
  void Finish();

  // [lyrics] enabled and offset. Off: nothing shown, the line emptied.
  void Apply(bool enabled, double offset);
  // A song came at `arrival`: no lyrics until its own come.
  void NewSong(Clock::time_point arrival);
  void Show(std::shared_ptr<const Lyrics> lyrics);
  // Idle: none until the next song.
  void Stop();

  // /lyrics.json's answer at `now`.
  std::string Json(Clock::time_point now) const;

 private:
  // Seconds into the lyrics at `now`.
  double Elapsed(Clock::time_point now) const;
  // Writes the line now sung and waits for the next one.
  void Settle();
  void WriteLine(const std::string& text);

  const std::function<void(const std::string&)> line_;
  const std::function<void()> changed_;
  std::unique_ptr<boost::asio::steady_timer> timer_;
  bool enabled_ = false;
  double offset_ = 0;
  Clock::time_point arrival_{};
  std::shared_ptr<const Lyrics> lyrics_;
  std::optional<std::string> written_;
};

}  // namespace receiver
