#include "receiver/discord/discord_presence.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <exception>
#include <utility>

#include "receiver/discord/discord_pipe.h"
#include "receiver/system/lock.h"
#include "receiver/system/thread.h"

namespace receiver {

namespace {

using Clock = std::chrono::steady_clock;
using Command = std::function<void(PresenceSession&, Clock::time_point)>;

// With nothing due the thread looks in now and then all the same.
constexpr long long kLongestSleepMs = 60 * 1000;

}  // namespace

struct DiscordPresence::State {
  DiscordSettings settings;
  PresenceHooks hooks;
  mutable SRWLOCK lock = SRWLOCK_INIT;
  std::deque<Command> commands;
  bool finishing = false;
  PresenceStatus status;
  KernelHandle wake{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
  Event ended;
  // The hooks go to the server, which must not hear from a thread it has
  // left behind: after Finish they are not called.
  SRWLOCK hooks_lock = SRWLOCK_INIT;
  bool hooks_closed = false;

  void Post(Command command) {
    {
      const LockHold hold(lock);
      commands.push_back(std::move(command));
    }
    SetEvent(wake.get());
  }

  void Tell(PresenceSession& session) {
    std::vector<std::string> notices = session.TakeNotices();
    bool changed = false;
    {
      const LockHold hold(lock);
      const PresenceStatus& now = session.status();
      changed = now.kind != status.kind || now.text != status.text;
      if (changed) status = now;
    }
    const LockHold hold(hooks_lock);
    if (hooks_closed) return;
    for (const std::string& notice : notices) {
      if (hooks.notice) hooks.notice(notice);
    }
    if (changed && hooks.status) hooks.status(session.status());
  }
};

namespace {

void Run(DiscordPresence::State& state) {
  if (!state.wake) return;
  PresenceSession session(state.settings, GetCurrentProcessId(), Clock::now());
  DiscordPipe pipe;
  FrameReader reader;
  const auto drop = [&](Clock::time_point now) {
    pipe.Close();
    reader = FrameReader();
    session.Lost(now);
  };
  const auto flush = [&](Clock::time_point now) {
    if (pipe.open() && session.TakeClose(now)) {
      pipe.Close();
      reader = FrameReader();
    }
    if (!pipe.open() && session.WantsPipe(now)) {
      if (pipe.Open()) {
        session.Opened(now);
      } else {
        session.Lost(now);
      }
    }
    for (const std::string& frame : session.TakeWrites(now)) {
      if (!pipe.Write(frame)) return drop(now);
    }
  };
  for (;;) {
    // A command at a time: each song is an update of its own while the
    // window allows.
    for (;;) {
      Command command;
      {
        const LockHold hold(state.lock);
        if (state.commands.empty()) break;
        command = std::move(state.commands.front());
        state.commands.pop_front();
      }
      const Clock::time_point now = Clock::now();
      command(session, now);
      flush(now);
    }
    {
      const LockHold hold(state.lock);
      if (state.finishing && state.commands.empty()) break;
    }
    Clock::time_point now = Clock::now();
    flush(now);
    state.Tell(session);
    long long wait = kLongestSleepMs;
    if (const auto due = session.NextWake(now)) {
      wait = std::clamp<long long>(
          std::chrono::duration_cast<std::chrono::milliseconds>(*due - now)
                  .count() +
              1,
          0, kLongestSleepMs);
    }
    const HANDLE handles[] = {state.wake.get(), pipe.read_event()};
    WaitForMultipleObjects(pipe.open() ? 2 : 1, handles, FALSE,
                           static_cast<DWORD>(wait));
    if (!pipe.open()) continue;
    now = Clock::now();
    std::string bytes;
    if (!pipe.TakeRead(bytes)) {
      drop(now);
      continue;
    }
    reader.Add(bytes);
    IpcFrame frame;
    FrameReader::Read read;
    while ((read = reader.Next(frame)) == FrameReader::Read::kFrame) {
      session.Received(frame, now);
    }
    if (read == FrameReader::Read::kBad) drop(now);
  }
  for (const std::string& frame : session.Goodbye()) {
    if (!pipe.Write(frame)) break;
  }
  pipe.Close();
}

}  // namespace

DiscordPresence::DiscordPresence(DiscordSettings settings, PresenceHooks hooks)
    : state_(std::make_shared<State>()) {
  state_->status = PresenceSession(settings, 0, Clock::now()).status();
  state_->settings = std::move(settings);
  state_->hooks = std::move(hooks);
  thread_ = std::make_unique<Thread>([state = state_] {
    try {
      Run(*state);
    } catch (const std::exception& failure) {
      const LockHold hold(state->hooks_lock);
      if (!state->hooks_closed && state->hooks.notice) {
        state->hooks.notice(
            std::string("trackwire_receiver: Discord's song stopped: ") +
            failure.what());
      }
    }
    state->ended.Set();
  });
}

DiscordPresence::~DiscordPresence() { Finish(0); }

bool DiscordPresence::started() const {
  return thread_->started() && state_->wake;
}

void DiscordPresence::Show(Playing playing) {
  state_->Post([playing = std::move(playing)](PresenceSession& session,
                                              Clock::time_point) {
    session.Show(playing);
  });
}

void DiscordPresence::Clear() {
  state_->Post(
      [](PresenceSession& session, Clock::time_point) { session.Clear(); });
}

void DiscordPresence::Apply(DiscordSettings settings) {
  state_->Post([settings = std::move(settings)](PresenceSession& session,
                                                Clock::time_point now) {
    session.Apply(settings, now);
  });
}

PresenceStatus DiscordPresence::Status() const {
  const LockHold hold(state_->lock, LockHold::kShared);
  return state_->status;
}

void DiscordPresence::Finish(unsigned milliseconds) {
  {
    const LockHold hold(state_->lock);
    state_->finishing = true;
  }
  SetEvent(state_->wake.get());
  if (milliseconds > 0) state_->ended.Wait(milliseconds);
  const LockHold hold(state_->hooks_lock);
  state_->hooks_closed = true;
}

}  // namespace receiver
