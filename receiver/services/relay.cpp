#include "receiver/services/relay.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <exception>
#include <utility>

#include "receiver/services/relay_worker.h"
#include "receiver/system/lock.h"
#include "receiver/system/thread.h"

namespace receiver {

namespace {

using Command = std::function<void(RelayWorker&)>;
using Clock = std::chrono::steady_clock;

// A thread with nothing due looks in now and then all the same.
constexpr DWORD kLongestSleepMs = 60 * 1000;
// At the end, within the server's wait for the thread.
constexpr auto kListensAnswerWait = std::chrono::milliseconds(500);

}  // namespace

struct Relay::State {
  std::wstring folder;
  TargetSettings settings;
  RelayHooks hooks;
  SRWLOCK lock = SRWLOCK_INIT;
  CONDITION_VARIABLE wake = CONDITION_VARIABLE_INIT;
  std::deque<Command> commands;
  bool finishing = false;
  Event ended;
  // The hooks go to the server, which must not hear from a thread it has
  // left behind: after Finish they are not called.
  SRWLOCK hooks_lock = SRWLOCK_INIT;
  bool hooks_closed = false;

  RelayHooks GuardedHooks(const std::weak_ptr<State>& weak) {
    RelayHooks guarded;
    guarded.cover = [weak](FoundCover cover) {
      if (const auto state = weak.lock()) {
        const LockHold hold(state->hooks_lock);
        if (!state->hooks_closed && state->hooks.cover) {
          state->hooks.cover(std::move(cover));
        }
      }
    };
    guarded.notice = [weak](const std::string& text) {
      if (const auto state = weak.lock()) {
        const LockHold hold(state->hooks_lock);
        if (!state->hooks_closed && state->hooks.notice) {
          state->hooks.notice(text);
        }
      }
    };
    guarded.cover_file = [weak](std::optional<std::string> bytes) {
      if (const auto state = weak.lock()) {
        const LockHold hold(state->hooks_lock);
        if (!state->hooks_closed && state->hooks.cover_file) {
          state->hooks.cover_file(std::move(bytes));
        }
      }
    };
    guarded.target = [weak](TargetReport report) {
      if (const auto state = weak.lock()) {
        const LockHold hold(state->hooks_lock);
        if (!state->hooks_closed && state->hooks.target) {
          state->hooks.target(std::move(report));
        }
      }
    };
    guarded.length = Guard(weak, &RelayHooks::length);
    guarded.lyrics = Guard(weak, &RelayHooks::lyrics);
    guarded.lastfm = Guard(weak, &RelayHooks::lastfm);
    guarded.lastfm_session = Guard(weak, &RelayHooks::lastfm_session);
    return guarded;
  }

  template <typename Value>
  static std::function<void(Value)> Guard(
      const std::weak_ptr<State>& weak,
      std::function<void(Value)> RelayHooks::*hook) {
    return [weak, hook](Value value) {
      if (const auto state = weak.lock()) {
        const LockHold hold(state->hooks_lock);
        if (!state->hooks_closed && state->hooks.*hook) {
          (state->hooks.*hook)(std::move(value));
        }
      }
    };
  }

  void Post(Command command) {
    {
      const LockHold hold(lock);
      commands.push_back(std::move(command));
    }
    WakeConditionVariable(&wake);
  }
};

namespace {

void Run(const std::shared_ptr<Relay::State>& state) {
  const std::weak_ptr<Relay::State> weak = state;
  RelayWorker worker(state->folder, std::move(state->settings),
                     state->GuardedHooks(weak), [weak](Command command) {
                       // An answer after the end goes nowhere.
                       if (const auto alive = weak.lock()) {
                         alive->Post(std::move(command));
                       }
                     });
  // What waits from before (listens kept on disk) goes at once.
  std::optional<Clock::time_point> due = Clock::now();
  for (;;) {
    std::deque<Command> commands;
    bool finishing = false;
    {
      const LockHold hold(state->lock);
      while (state->commands.empty() && !state->finishing) {
        DWORD wait = kLongestSleepMs;
        if (due) {
          const auto left =
              std::chrono::duration_cast<std::chrono::milliseconds>(
                  *due - Clock::now());
          wait = static_cast<DWORD>(
              std::clamp<long long>(left.count(), 0, kLongestSleepMs));
        }
        if (wait == 0) break;
        if (!SleepConditionVariableSRW(&state->wake, &state->lock, wait, 0) &&
            GetLastError() == ERROR_TIMEOUT) {
          break;
        }
      }
      commands.swap(state->commands);
      finishing = state->finishing;
    }
    for (Command& command : commands) command(worker);
    if (finishing) break;
    due = worker.SendDue(Clock::now());
  }
  // An answer on its way settles its listens, so that they do not go again
  // at the next start.
  const Clock::time_point until = Clock::now() + kListensAnswerWait;
  while (worker.ListensInFlight()) {
    std::deque<Command> commands;
    {
      const LockHold hold(state->lock);
      while (state->commands.empty()) {
        const long long left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until -
                                                                  Clock::now())
                .count();
        if (left <= 0 ||
            (!SleepConditionVariableSRW(&state->wake, &state->lock,
                                        static_cast<DWORD>(left), 0) &&
             GetLastError() == ERROR_TIMEOUT)) {
          break;
        }
      }
      commands.swap(state->commands);
    }
    if (commands.empty()) break;
    for (Command& command : commands) command(worker);
  }
  worker.GiveUp();
}

}  // namespace

Relay::Relay(std::wstring folder, TargetSettings settings, RelayHooks hooks)
    : state_(std::make_shared<State>()) {
  state_->folder = std::move(folder);
  state_->settings = std::move(settings);
  state_->hooks = std::move(hooks);
  thread_ = std::make_unique<Thread>([state = state_] {
    try {
      Run(state);
    } catch (const std::exception& failure) {
      state->GuardedHooks(state).notice(
          std::string("trackwire_receiver: sending to other services "
                      "stopped: ") +
          failure.what());
    }
    state->ended.Set();
  });
}

Relay::~Relay() { Finish(0, 0); }

bool Relay::started() const { return thread_->started(); }

void Relay::Song(const receiver::Song& song, std::uint64_t number,
                 std::int64_t unix_seconds) {
  state_->Post([song, number, unix_seconds](RelayWorker& worker) {
    worker.Song(song, number, unix_seconds);
  });
}

void Relay::Idle(std::int64_t unix_seconds) {
  state_->Post(
      [unix_seconds](RelayWorker& worker) { worker.Idle(unix_seconds); });
}

void Relay::Apply(TargetSettings settings) {
  state_->Post([settings = std::move(settings)](RelayWorker& worker) mutable {
    worker.Apply(std::move(settings));
  });
}

void Relay::ConnectLastFm() {
  state_->Post([](RelayWorker& worker) { worker.ConnectLastFm(); });
}

void Relay::StopLastFm() {
  state_->Post([](RelayWorker& worker) { worker.StopLastFm(); });
}

void Relay::Finish(std::int64_t unix_seconds, unsigned milliseconds) {
  const Clock::time_point end =
      Clock::now() + std::chrono::milliseconds(milliseconds);
  bool first = false;
  {
    const LockHold hold(state_->lock);
    first = !state_->finishing;
    if (first) {
      state_->commands.push_back([unix_seconds, end](RelayWorker& worker) {
        worker.Finish(unix_seconds, end);
      });
      state_->finishing = true;
    }
  }
  if (first) WakeConditionVariable(&state_->wake);
  if (milliseconds > 0) state_->ended.Wait(milliseconds);
  const LockHold hold(state_->hooks_lock);
  state_->hooks_closed = true;
}

}  // namespace receiver
