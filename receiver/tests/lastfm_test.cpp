#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "receiver/lastfm/lastfm_answers.h"
#include "receiver/lastfm/lastfm_calls.h"
#include "receiver/lastfm/lastfm_connect.h"
#include "receiver/lastfm/md5.h"
#include "receiver/services/target_queue.h"

namespace receiver {
namespace {

using Time = LastFmConnect::Time;
const Time kStart = Time() + std::chrono::hours(1);

LastFmSettings Account() {
  LastFmSettings settings;
  settings.key = "K";
  settings.secret = "S3CRET";
  settings.session = "SESSION";
  return settings;
}

Reply Answer(int status, std::string body) {
  Reply reply;
  reply.answered = true;
  reply.status = status;
  reply.content_type = "application/json";
  reply.body = std::move(body);
  return reply;
}

// Checked against Python's hashlib: RFC 1321's own cases, and lengths on
// both sides of the padding's block boundary.
TEST(LastFm, Md5AndTheSignatureAsDocumented) {
  EXPECT_EQ(Md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(Md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(Md5Hex(std::string(55, 'a')), "ef1772b6dff9a122358552954ad0df65");
  EXPECT_EQ(Md5Hex(std::string(56, 'a')), "3b0c8ac703f828b04c6c197006d17218");
  std::string digits;
  for (int i = 0; i < 8; ++i) digits += "1234567890";
  EXPECT_EQ(Md5Hex(digits), "57edf4a22be3c955ac49da2e2107b67a");

  // Last.fm's own example: every parameter by name, then the secret;
  // format is left out.
  EXPECT_EQ(LastFmSignature({{"api_key", "xxxx"},
                             {"method", "auth.getSession"},
                             {"token", "yyyy"},
                             {"format", "json"}},
                            "ilovecher"),
            "823df9939bce8abaf766d357c0eb08e1");

  // A write call: a form POST, the session and the signature of the UTF-8
  // values in it, format=json unsigned.
  Song song;
  song.artist = "Les Étoiles";
  song.album = "Nuit & Jour";
  song.title = "Café東京";
  const Outgoing call = LastFmNowPlaying(Account(), song);
  EXPECT_EQ(call.method, "POST");
  EXPECT_EQ(call.url, "https://ws.audioscrobbler.com/2.0/");
  EXPECT_EQ(call.body,
            "album=Nuit%20%26%20Jour&api_key=K"
            "&api_sig=32288b4d68932bf962ac0ccc4607fcd4"
            "&artist=Les%20%C3%89toiles&format=json"
            "&method=track.updateNowPlaying&sk=SESSION"
            "&track=Caf%C3%A9%E6%9D%B1%E4%BA%AC");
}

TEST(LastFm, ScrobblesGoFiftyARequestWithTheirStart) {
  std::vector<Listen> listens(120);
  std::vector<const Listen*> all;
  for (std::size_t i = 0; i < listens.size(); ++i) {
    listens[i].song.artist = "A";
    listens[i].song.title = "T" + std::to_string(i);
    listens[i].listened_at = 1700000000 + static_cast<std::int64_t>(i) * 300;
    all.push_back(&listens[i]);
  }
  std::size_t taken = 0;
  const Outgoing call = LastFmScrobbles(Account(), all, taken);
  EXPECT_EQ(taken, 50u);
  EXPECT_NE(call.body.find("timestamp%5B49%5D=1700014700"), std::string::npos);
  EXPECT_EQ(call.body.find("%5B50%5D"), std::string::npos);
  // No album, no album[i]: Last.fm takes an empty one as a wrong one.
  EXPECT_EQ(call.body.find("album"), std::string::npos);
  EXPECT_FALSE(Scrobbleable(Song{}));
}

TEST(LastFm, ErrorsGoByTheirNumbers) {
  const auto verdict = [](int status, const std::string& body) {
    return Judge(LastFmJudged(Answer(status, body)));
  };
  EXPECT_EQ(verdict(200, R"({"nowplaying":{}})"), Verdict::kDone);
  EXPECT_EQ(verdict(403, R"({"error":9,"message":"Invalid session key"})"),
            Verdict::kRefused);
  EXPECT_EQ(verdict(200, R"({"error":13,"message":"Invalid signature"})"),
            Verdict::kRefused);
  EXPECT_EQ(verdict(200, R"({"error":11,"message":"Offline"})"),
            Verdict::kRetry);
  EXPECT_EQ(verdict(400, R"({"error":16,"message":"Try later"})"),
            Verdict::kRetry);
  EXPECT_EQ(verdict(429, R"({"error":29,"message":"Rate limit"})"),
            Verdict::kRetry);
  EXPECT_EQ(verdict(200, R"({"error":6,"message":"Invalid parameters"})"),
            Verdict::kRejected);

  // Error 9 stops the target, told once, asking to connect again; playing
  // now is not sent again, but the scrobbles wait.
  TargetQueue queue("Last.fm");
  queue.LatestOnce();
  queue.KeepWith(
      [](const std::deque<std::string>&, std::size_t, std::size_t& taken) {
        taken = 1;
        Outgoing scrobbles;
        scrobbles.url = "scrobbles";
        return scrobbles;
      });
  Outgoing playing;
  playing.url = "playing now";
  queue.Latest(playing);
  queue.Keep("scrobble");
  ASSERT_TRUE(queue.Next(kStart));
  const TargetQueue::Outcome outcome = queue.Answered(
      kStart, LastFmJudged(Answer(403, R"({"error":9,"message":"Bad"})")));
  ASSERT_TRUE(outcome.notice);
  EXPECT_EQ(*outcome.notice,
            "trackwire_receiver: Last.fm refused the session (error 9: Bad); "
            "connect Last.fm again on the control page");
  EXPECT_FALSE(queue.Due());
  queue.Reset();
  const std::optional<Outgoing> next = queue.Next(kStart);
  ASSERT_TRUE(next);
  EXPECT_EQ(next->url, "scrobbles");
}

TEST(LastFm, ConnectAsksUntilAllowedForAnHourAtMost) {
  LastFmSettings settings = Account();
  settings.session.clear();
  settings.url = "http://127.0.0.1:9/2.0/";
  LastFmConnect connect;
  connect.Start(settings, kStart);
  std::optional<Outgoing> ask = connect.Next(kStart);
  ASSERT_TRUE(ask);
  EXPECT_EQ(ask->method, "GET");
  EXPECT_NE(ask->url.find("method=auth.getToken"), std::string::npos);
  EXPECT_EQ(ask->url.find("sk="), std::string::npos);
  connect.Answered(Answer(200, R"({"token":"T0K"})"), kStart);
  EXPECT_EQ(connect.stage(), LastFmConnect::Stage::kWaiting);
  EXPECT_EQ(connect.page(), "http://127.0.0.1:9/api/auth/?api_key=K&token=T0K");

  const Time later = kStart + LastFmConnect::kAskEvery;
  EXPECT_FALSE(connect.Next(later - std::chrono::seconds(1)));
  ask = connect.Next(later);
  ASSERT_TRUE(ask);
  EXPECT_NE(ask->url.find("method=auth.getSession"), std::string::npos);
  EXPECT_NE(ask->url.find("token=T0K"), std::string::npos);
  // Not allowed yet, or the service away: asked again.
  EXPECT_FALSE(connect.Answered(Answer(403, R"({"error":14})"), later).session);
  ASSERT_TRUE(connect.Next(later + LastFmConnect::kAskEvery));
  connect.Answered(Reply{}, later + LastFmConnect::kAskEvery);
  const Time then = later + 2 * LastFmConnect::kAskEvery;
  ASSERT_TRUE(connect.Next(then));
  const LastFmConnect::Step step = connect.Answered(
      Answer(200, R"({"session":{"name":"dj","key":"SK","subscriber":0}})"),
      then);
  ASSERT_TRUE(step.session);
  EXPECT_EQ(step.session->key, "SK");
  EXPECT_EQ(connect.stage(), LastFmConnect::Stage::kIdle);
  EXPECT_TRUE(connect.problem().empty());

  // Last.fm's own page for Last.fm; an hour without an allow ends it.
  connect.Start(Account(), kStart);
  connect.Next(kStart);
  connect.Answered(Answer(200, R"({"token":"T"})"), kStart);
  EXPECT_EQ(connect.page(), "https://www.last.fm/api/auth/?api_key=K&token=T");
  const Time end = kStart + LastFmConnect::kGiveUpAfter;
  ASSERT_TRUE(connect.Next(end));
  connect.Answered(Answer(403, R"({"error":14})"), end);
  EXPECT_EQ(connect.stage(), LastFmConnect::Stage::kIdle);
  EXPECT_EQ(connect.problem(),
            "Last.fm was not allowed within an hour; connect again");
  // A refused key ends it at once, with Last.fm's words.
  connect.Start(Account(), kStart);
  connect.Next(kStart);
  connect.Answered(Answer(403, R"({"error":10,"message":"Invalid API key"})"),
                   kStart);
  EXPECT_EQ(connect.problem(),
            "Last.fm answered error 10: Invalid API key; connect again");
}

}  // namespace
}  // namespace receiver
