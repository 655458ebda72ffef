#pragma once

#include <functional>
#include <memory>
#include <string>

#include "receiver/discord/discord_settings.h"
#include "receiver/discord/presence_json.h"
#include "receiver/discord/presence_session.h"

namespace receiver {

class Thread;

struct PresenceHooks {
  // What the user should hear (an ID refused, and taken after that); from
  // the presence's thread, must not wait.
  std::function<void(const std::string&)> notice;
  // Each change of the state; from the presence's thread, must not wait.
  std::function<void(const PresenceStatus&)> status;
};

// The song on the user's Discord profile, through the Discord app's local
// RPC on a thread of its own: nothing here waits for the app; a call only
// leaves word for the thread.
class DiscordPresence {
 public:
  DiscordPresence(DiscordSettings settings, PresenceHooks hooks);
  DiscordPresence(const DiscordPresence&) = delete;
  DiscordPresence& operator=(const DiscordPresence&) = delete;
  ~DiscordPresence();

  // False when its thread could not start: the profile shows nothing.
  bool started() const;

  // The song to show, again whenever its cover or length is found.
  void Show(Playing playing);
  // Nothing is playing (idle, or cleared by the user).
  void Clear();
  void Apply(DiscordSettings settings);
  PresenceStatus Status() const;

  // Clears the profile's song and closes the pipe; returns when it has, or
  // after `milliseconds`.
  void Finish(unsigned milliseconds);

  struct State;

 private:
  std::shared_ptr<State> state_;
  std::unique_ptr<Thread> thread_;
};

}  // namespace receiver
