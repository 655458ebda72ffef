#include "receiver/discord/presence_session.h"

#include <utility>

namespace receiver {

namespace {

std::string Told(const DiscordAnswer& answer) {
  std::string text =
      answer.message.empty() ? "no reason given" : answer.message;
  if (answer.code != 0) text += " (" + std::to_string(answer.code) + ")";
  return text;
}

}  // namespace

PresenceSession::PresenceSession(DiscordSettings settings, std::uint32_t pid,
                                 Time now)
    : pid_(pid), retry_at_(now), handshake_at_(now) {
  Apply(settings, now);
}

void PresenceSession::Enter(Phase phase, std::string text) {
  phase_ = phase;
  using Kind = PresenceStatus::Kind;
  switch (phase) {
    case Phase::kOff:
      status_ = {Kind::kOff, "off: no [discord] application in the settings"};
      break;
    case Phase::kWaiting:
    case Phase::kHandshake:
      status_ = {Kind::kWaiting,
                 "waiting for the Discord app on this PC, looked for every " +
                     std::to_string(kRetry.count()) + " s"};
      break;
    case Phase::kReady:
      status_ = {Kind::kConnected, "connected to the Discord app"};
      break;
    case Phase::kRefused:
      status_ = {Kind::kRefused, std::move(text)};
      break;
  }
}

void PresenceSession::Apply(const DiscordSettings& settings, Time now) {
  const bool other = settings.application != settings_.application;
  settings_ = settings;
  told_error_.clear();
  const bool connected = phase_ == Phase::kHandshake || phase_ == Phase::kReady;
  if (settings_.application.empty()) {
    close_ = connected;
    shown_.clear();
    return Enter(Phase::kOff);
  }
  if (other || phase_ == Phase::kOff || phase_ == Phase::kRefused) {
    close_ = connected;
    shown_.clear();
    retry_at_ = now;
    Enter(Phase::kWaiting);
  }
}

bool PresenceSession::WantsPipe(Time now) const {
  return phase_ == Phase::kWaiting && now >= retry_at_;
}

void PresenceSession::Opened(Time now) {
  writes_.clear();
  shown_.clear();
  handshake_at_ = now;
  Enter(Phase::kHandshake);
  writes_.push_back(
      EncodeFrame(Opcode::kHandshake, HandshakeJson(settings_.application)));
}

void PresenceSession::WaitAgain(Time now) {
  writes_.clear();
  shown_.clear();
  retry_at_ = now + kRetry;
  Enter(Phase::kWaiting);
}

void PresenceSession::Lost(Time now) {
  if (phase_ == Phase::kOff || phase_ == Phase::kRefused) return;
  WaitAgain(now);
}

void PresenceSession::Refuse(const DiscordAnswer& answer) {
  writes_.clear();
  shown_.clear();
  close_ = true;
  refused_before_ = true;
  const std::string why = Told(answer);
  Enter(Phase::kRefused,
        "Discord refused application ID " + settings_.application + ": " + why);
  notices_.push_back(
      "trackwire_receiver: Discord refused [discord] application = " +
      settings_.application + ": " + why +
      ". It is the Application ID of your own application on "
      "discord.com/developers/applications, not a user ID; a save of the "
      "settings file tries again.");
}

void PresenceSession::Received(const IpcFrame& frame, Time now) {
  if (phase_ != Phase::kHandshake && phase_ != Phase::kReady) return;
  if (frame.op == Opcode::kPing) {
    writes_.push_back(EncodeFrame(Opcode::kPong, frame.json));
    return;
  }
  if (frame.op == Opcode::kClose) {
    if (phase_ == Phase::kHandshake) return Refuse(ReadAnswer(frame.json));
    // Discord asks a connection it took to leave: as if it had gone.
    close_ = true;
    return WaitAgain(now);
  }
  if (frame.op != Opcode::kFrame) return;
  const DiscordAnswer answer = ReadAnswer(frame.json);
  if (answer.kind == DiscordAnswer::Kind::kReady &&
      phase_ == Phase::kHandshake) {
    Enter(Phase::kReady);
    if (refused_before_) {
      refused_before_ = false;
      notices_.push_back(
          "trackwire_receiver: Discord took [discord] "
          "application = " +
          settings_.application);
    }
  } else if (answer.kind == DiscordAnswer::Kind::kError) {
    if (phase_ == Phase::kHandshake) return Refuse(answer);
    const std::string why = Told(answer);
    if (why != told_error_) {
      told_error_ = why;
      notices_.push_back("trackwire_receiver: Discord did not take the song: " +
                         why);
    }
  }
}

std::string PresenceSession::Wanted() const {
  return playing_ ? ActivityJson(*playing_, settings_) : std::string();
}

std::string PresenceSession::Frame(std::string_view activity) {
  return EncodeFrame(Opcode::kFrame,
                     SetActivityJson(pid_, activity, std::to_string(++nonce_)));
}

std::vector<std::string> PresenceSession::TakeWrites(Time now) {
  std::vector<std::string> out = std::move(writes_);
  writes_.clear();
  if (phase_ != Phase::kReady) return out;
  std::string wanted = Wanted();
  if (wanted != shown_ && limit_.NextFree(now) <= now) {
    out.push_back(Frame(wanted));
    shown_ = std::move(wanted);
    limit_.Sent(now);
  }
  return out;
}

bool PresenceSession::TakeClose(Time now) {
  if (phase_ == Phase::kHandshake && now >= handshake_at_ + kHandshakeWait) {
    close_ = true;
    WaitAgain(now);
  }
  return std::exchange(close_, false);
}

std::vector<std::string> PresenceSession::Goodbye() {
  playing_.reset();
  std::vector<std::string> out;
  if (phase_ == Phase::kReady && !shown_.empty()) out.push_back(Frame({}));
  shown_.clear();
  return out;
}

std::optional<PresenceSession::Time> PresenceSession::NextWake(Time now) const {
  switch (phase_) {
    case Phase::kWaiting:
      return retry_at_;
    case Phase::kHandshake:
      return handshake_at_ + kHandshakeWait;
    case Phase::kReady:
      if (!writes_.empty()) return now;
      if (Wanted() != shown_) return limit_.NextFree(now);
      return std::nullopt;
    case Phase::kOff:
    case Phase::kRefused:
      break;
  }
  return std::nullopt;
}

std::vector<std::string> PresenceSession::TakeNotices() {
  std::vector<std::string> out = std::move(notices_);
  notices_.clear();
  return out;
}

}  // namespace receiver
