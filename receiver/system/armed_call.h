#pragma once

#include <windows.h>

#include <functional>

namespace receiver {

// A call that any thread may make and that one place carries out while it
// is armed, such as the server's thread posting to itself. Unarmed, a call
// does nothing; a latched one is kept and made as soon as it is armed.
class ArmedCall {
 public:
  enum Kind { kDropped, kLatched };

  explicit ArmedCall(Kind kind = kDropped) : kind_(kind) {}
  ArmedCall(const ArmedCall&) = delete;
  ArmedCall& operator=(const ArmedCall&) = delete;

  void Call();

  // While it lives, Call() calls `how`: for the span of a run however that
  // run ends.
  class Armed {
   public:
    Armed(ArmedCall* call, std::function<void()> how);
    Armed(const Armed&) = delete;
    Armed& operator=(const Armed&) = delete;
    ~Armed();

   private:
    ArmedCall* call_;
  };

 private:
  const Kind kind_;
  SRWLOCK lock_ = SRWLOCK_INIT;
  std::function<void()> how_;
  bool requested_ = false;
};

}  // namespace receiver
