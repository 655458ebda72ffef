// "Connect Last.fm" on the relay's thread: the token, the page where the
// user allows it, the session asked for until then; and how it stands, for
// the control page.
#include <chrono>

#include "receiver/services/relay_worker.h"

namespace receiver {

void RelayWorker::ConnectLastFm() {
  if (settings_.lastfm) {
    connect_.Start(*settings_.lastfm, std::chrono::steady_clock::now());
  } else {
    connect_.Fail(
        "write the key and secret of your Last.fm API account into [lastfm] "
        "first");
  }
  // The page has shown it asking since the click: told in any case.
  told_lastfm_.stage.clear();
  TellLastFm();
}

void RelayWorker::StopLastFm() {
  connect_.Stop();
  TellLastFm();
}

void RelayWorker::ConnectAnswered(std::uint64_t attempt, Reply reply) {
  if (attempt != connect_.attempt()) return;
  const LastFmConnect::Step step =
      connect_.Answered(reply, std::chrono::steady_clock::now());
  if (step.session && hooks_.lastfm_session) {
    hooks_.lastfm_session(step.session->key);
  }
  if (step.changed) TellLastFm();
}

void RelayWorker::TellLastFm() {
  LastFmStatus status;
  status.set_up = settings_.lastfm.has_value();
  status.connected = status.set_up && !settings_.lastfm->session.empty();
  switch (connect_.stage()) {
    case LastFmConnect::Stage::kIdle:
      status.stage = "idle";
      break;
    case LastFmConnect::Stage::kToken:
      status.stage = "token";
      break;
    case LastFmConnect::Stage::kWaiting:
      status.stage = "waiting";
      break;
  }
  status.page = connect_.page();
  status.problem = connect_.problem();
  if (status == told_lastfm_) return;
  told_lastfm_ = status;
  if (hooks_.lastfm) hooks_.lastfm(std::move(status));
}

}  // namespace receiver
