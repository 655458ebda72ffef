#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "receiver/discord/discord_settings.h"
#include "receiver/discord/ipc_frame.h"
#include "receiver/discord/presence_json.h"
#include "receiver/discord/update_limit.h"

// The conversation with the Discord app, apart from its pipe: when to look
// for the app, what to write, what the user hears. The Windows side moves
// the bytes and keeps the time.
namespace receiver {

struct PresenceStatus {
  enum class Kind { kOff, kWaiting, kConnected, kRefused };
  Kind kind = Kind::kOff;
  std::string text;  // for the user
};

class PresenceSession {
 public:
  using Time = std::chrono::steady_clock::time_point;
  // The app not running is no failure: it is looked for again this often.
  static constexpr std::chrono::seconds kRetry{15};
  static constexpr std::chrono::seconds kHandshakeWait{10};

  PresenceSession(DiscordSettings settings, std::uint32_t pid, Time now);

  // Whether to look for the app's pipe now.
  bool WantsPipe(Time now) const;
  // The pipe is open: the handshake goes.
  void Opened(Time now);
  // No pipe, or the connection broke: looked for again in kRetry.
  void Lost(Time now);
  void Received(const IpcFrame& frame, Time now);

  void Show(const Playing& playing) { playing_ = playing; }
  void Clear() { playing_.reset(); }
  // A save of the settings: another ID connects anew, and even an unchanged
  // one that was refused is tried again.
  void Apply(const DiscordSettings& settings, Time now);

  // The frames to write now, in order.
  std::vector<std::string> TakeWrites(Time now);
  // Whether to close the pipe now (refused, another ID, no READY in time);
  // the session has already taken it as closed.
  bool TakeClose(Time now);
  // The frames that end the connection at exit: the activity cleared.
  std::vector<std::string> Goodbye();
  // When something next falls due, if anything does.
  std::optional<Time> NextWake(Time now) const;
  std::vector<std::string> TakeNotices();
  const PresenceStatus& status() const { return status_; }

 private:
  enum class Phase { kOff, kWaiting, kHandshake, kReady, kRefused };
  void Enter(Phase phase, std::string text = {});
  void Refuse(const DiscordAnswer& answer);
  void WaitAgain(Time now);
  std::string Wanted() const;
  std::string Frame(std::string_view activity);

  DiscordSettings settings_;
  const std::uint32_t pid_;
  Phase phase_ = Phase::kOff;
  Time retry_at_;
  Time handshake_at_;
  std::optional<Playing> playing_;
  std::string shown_;  // the activity Discord has from this connection
  UpdateLimit limit_;
  std::vector<std::string> writes_;
  bool close_ = false;
  std::uint64_t nonce_ = 0;
  std::vector<std::string> notices_;
  std::string told_error_;  // the last activity refusal told
  bool refused_before_ = false;
  PresenceStatus status_;
};

}  // namespace receiver
