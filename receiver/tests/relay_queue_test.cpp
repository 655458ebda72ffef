#include <gtest/gtest.h>

#include "receiver/services/target_queue.h"

namespace receiver {
namespace {

using std::chrono::seconds;
using Time = TargetQueue::Time;

const Time kStart = Time() + std::chrono::hours(1);

Outgoing Request(std::string url) {
  Outgoing out;
  out.url = std::move(url);
  return out;
}

Reply Status(int status, std::string content_type = {}, std::string body = {}) {
  Reply reply;
  reply.answered = true;
  reply.status = status;
  reply.content_type = std::move(content_type);
  reply.body = std::move(body);
  return reply;
}

// The kept ids' request: at most `batch` of them, joined by "+" as its url.
TargetQueue::MakeKept Joined(std::size_t batch) {
  return [batch](const std::deque<std::string>& ids, std::size_t most,
                 std::size_t& taken) {
    taken = std::min(most, batch);
    std::string url = ids[0];
    for (std::size_t i = 1; i < taken; ++i) url += "+" + ids[i];
    return Request(url);
  };
}

Reply Unreachable(bool certificate = false) {
  Reply reply;
  reply.failure = certificate ? "the certificate's name does not match"
                              : "the connection was refused";
  reply.certificate = certificate;
  return reply;
}

TEST(TargetQueueTest, TheLatestReplacesWhatWaitsNotWhatIsInFlight) {
  TargetQueue queue("Icecast");
  EXPECT_FALSE(queue.Due());
  queue.Latest(Request("a"));
  ASSERT_EQ(queue.Next(kStart)->url, "a");
  EXPECT_TRUE(queue.InFlight());
  queue.Latest(Request("b"));
  queue.Latest(Request("c"));
  EXPECT_FALSE(queue.Next(kStart));
  EXPECT_FALSE(queue.Due());
  EXPECT_EQ(queue.Answered(kStart, Status(200)).verdict, Verdict::kDone);
  EXPECT_EQ(queue.Next(kStart)->url, "c");
  queue.Answered(kStart, Status(204));
  EXPECT_FALSE(queue.Due());
  EXPECT_FALSE(queue.Next(kStart + seconds(60)));

  // A failed one goes again, unless a newer song came meanwhile.
  queue.Latest(Request("d"));
  queue.Next(kStart);
  queue.Answered(kStart, Status(503));
  EXPECT_FALSE(queue.Next(kStart));
  EXPECT_EQ(queue.Next(kStart + seconds(1))->url, "d");
  queue.Latest(Request("e"));
  queue.Answered(kStart + seconds(1), Unreachable());
  EXPECT_EQ(queue.Next(kStart + seconds(3))->url, "e");
  queue.Answered(kStart + seconds(3), Status(200));
  EXPECT_FALSE(queue.Due());
}

TEST(TargetQueueTest, KeptOnesAreAllDeliveredOnceInOrder) {
  TargetQueue queue("ListenBrainz");
  queue.KeepWith(Joined(1));
  for (const char* id : {"1", "2", "3"}) queue.Keep(id);
  queue.Latest(Request("now"));
  std::vector<std::string> sent;
  std::vector<std::string> accepted;
  Time now = kStart;
  // Failures in between; a 400 drops its listen for good.
  const Reply kAnswers[] = {Status(200), Unreachable(), Status(429),
                            Status(200), Status(500),   Status(400),
                            Status(200)};
  for (const Reply& reply : kAnswers) {
    const std::optional<Time> due = queue.Due();
    ASSERT_TRUE(due);
    now = std::max(now, *due);
    const std::optional<Outgoing> next = queue.Next(now);
    ASSERT_TRUE(next);
    sent.push_back(next->url);
    const TargetQueue::Outcome outcome = queue.Answered(now, reply);
    accepted.insert(accepted.end(), outcome.settled.begin(),
                    outcome.settled.end());
  }
  EXPECT_EQ(sent,
            (std::vector<std::string>{"now", "1", "1", "1", "2", "2", "3"}));
  EXPECT_EQ(accepted, (std::vector<std::string>{"1", "2", "3"}));
  EXPECT_EQ(queue.KeptCount(), 0u);
  EXPECT_FALSE(queue.Due());
}

TEST(TargetQueueTest, KeptOnesGoInBatchesAndAreSettledById) {
  TargetQueue queue("ListenBrainz");
  queue.KeepWith(Joined(2));
  for (const char* id : {"1", "2", "3", "4", "5"}) queue.Keep(id);
  std::vector<std::string> sent;
  std::vector<std::string> settled;
  std::vector<std::string> notices;
  Time now = kStart;
  const auto answer = [&](const Reply& reply) {
    now = std::max(now, queue.Due().value_or(now));
    const std::optional<Outgoing> next = queue.Next(now);
    ASSERT_TRUE(next);
    sent.push_back(next->url);
    const TargetQueue::Outcome outcome = queue.Answered(now, reply);
    settled.insert(settled.end(), outcome.settled.begin(),
                   outcome.settled.end());
    if (outcome.notice) notices.push_back(*outcome.notice);
  };
  answer(Status(200));
  queue.Forget({"3"});  // taken through another queue
  answer(Status(429));
  queue.Keep("6");
  // A rejected batch goes again a listen at a time: only the one the
  // service refuses is dropped.
  answer(Status(400));
  answer(Status(400));
  answer(Status(200));
  answer(Status(200));
  EXPECT_EQ(sent,
            (std::vector<std::string>{"1+2", "4+5", "4+5", "4", "5", "6"}));
  EXPECT_EQ(settled, (std::vector<std::string>{"1", "2", "4", "5", "6"}));
  EXPECT_EQ(notices, std::vector<std::string>{
                         "trackwire_receiver: ListenBrainz answered HTTP "
                         "400; this listen is not sent"});
  EXPECT_EQ(queue.KeptCount(), 0u);

  // One settled otherwise while in flight is not sent again.
  for (const char* id : {"7", "8"}) queue.Keep(id);
  answer(Status(503));
  queue.Keep("9");
  now = *queue.Due();
  ASSERT_EQ(queue.Next(now)->url, "7+8");
  queue.Forget({"7"});
  queue.Answered(now, Unreachable());
  answer(Status(200));
  EXPECT_EQ(sent.back(), "8+9");
  EXPECT_EQ(queue.KeptCount(), 0u);
}

TEST(TargetQueueTest, BackOffAndTheServicesOwnWait) {
  TargetQueue queue("Icecast");
  queue.Latest(Request("a"));
  Time now = kStart;
  std::vector<long long> waits;
  for (int i = 0; i < 11; ++i) {
    ASSERT_TRUE(queue.Next(now));
    queue.Answered(now, Unreachable());
    waits.push_back(
        std::chrono::duration_cast<seconds>(*queue.Due() - now).count());
    now = *queue.Due();
  }
  EXPECT_EQ(waits, (std::vector<long long>{1, 2, 4, 8, 16, 32, 64, 128, 256,
                                           300, 300}));
  queue.Next(now);
  queue.Answered(now, Status(200));
  // After a success the count starts again; a longer wait asked for wins.
  queue.Latest(Request("b"));
  queue.Next(now);
  Reply busy = Status(429);
  busy.wait_seconds = 30;
  queue.Answered(now, busy);
  EXPECT_EQ(*queue.Due(), now + seconds(30));
  queue.Next(now + seconds(30));
  queue.Answered(now + seconds(30), Status(503));
  EXPECT_EQ(*queue.Due(), now + seconds(32));
  // The service's own wait has a ceiling: an hour.
  now += seconds(32);
  queue.Next(now);
  busy.wait_seconds = 10 * 24 * 3600;
  queue.Answered(now, busy);
  EXPECT_EQ(*queue.Due(), now + std::chrono::hours(1));

  // MusicBrainz's pace: a second from one answer to the next request.
  TargetQueue paced("MusicBrainz", std::chrono::milliseconds(1000));
  paced.Latest(Request("x"));
  paced.Next(kStart);
  paced.Answered(kStart, Status(200));
  paced.Latest(Request("y"));
  EXPECT_FALSE(paced.Next(kStart + std::chrono::milliseconds(999)));
  EXPECT_TRUE(paced.Next(kStart + seconds(1)));
}

TEST(TargetQueueTest, RefusedStopsUntilReset) {
  TargetQueue queue("ListenBrainz");
  queue.KeepWith(Joined(1));
  queue.Keep("1");
  queue.Next(kStart);
  const TargetQueue::Outcome refused = queue.Answered(kStart, Status(401));
  EXPECT_EQ(refused.verdict, Verdict::kRefused);
  EXPECT_EQ(
      refused.notice,
      "trackwire_receiver: ListenBrainz refused the credentials (HTTP "
      "401); check the token in [listenbrainz] in trackwire_receiver.ini");
  EXPECT_TRUE(refused.settled.empty());
  queue.Latest(Request("now"));
  EXPECT_FALSE(queue.Due());
  EXPECT_FALSE(queue.Next(kStart + std::chrono::hours(5)));
  EXPECT_EQ(queue.KeptCount(), 1u);
  queue.Reset();
  EXPECT_EQ(queue.Next(kStart)->url, "now");
  queue.Answered(kStart, Status(200));
  EXPECT_EQ(queue.Next(kStart)->url, "1");
  EXPECT_EQ(queue.Answered(kStart, Status(200)).settled,
            std::vector<std::string>{"1"});

  // A redirect that a request with credentials does not follow: told with
  // where it pointed, and nothing goes until the settings are saved.
  queue.Keep("2");
  queue.Next(kStart);
  Reply moved = Status(307);
  // Only its origin: the path and query may hold what was sent.
  moved.redirect = "http://who:pw@127.0.0.2:8000/1/submit?token=x";
  const TargetQueue::Outcome redirected = queue.Answered(kStart, moved);
  EXPECT_EQ(redirected.verdict, Verdict::kRedirected);
  EXPECT_EQ(redirected.notice,
            "trackwire_receiver: ListenBrainz answered HTTP 307, a redirect to "
            "http://127.0.0.2:8000, which a request with credentials does not "
            "follow; check the url in [listenbrainz] in "
            "trackwire_receiver.ini");
  EXPECT_TRUE(redirected.settled.empty());
  EXPECT_FALSE(queue.Next(kStart + std::chrono::hours(5)));
  queue.Reset();
  EXPECT_EQ(queue.Next(kStart)->url, "2");
}

TEST(TargetQueueTest, ACoverLookupRefusedOrOfNoUseIsAMiss) {
  TargetQueue queue("MusicBrainz", std::chrono::milliseconds(1000),
                    TargetQueue::Kind::kCovers);
  Time now = kStart;
  const auto answer = [&](const Reply& reply) {
    queue.Latest(Request("x"));
    now = std::max(now, queue.Due().value_or(now));
    EXPECT_TRUE(queue.Next(now));
    return queue.Answered(now, reply);
  };
  const TargetQueue::Outcome refused = answer(Status(403));
  EXPECT_EQ(refused.verdict, Verdict::kRejected);
  EXPECT_EQ(refused.notice,
            "trackwire_receiver: MusicBrainz answered HTTP 403; that album "
            "has no cover for a day");
  EXPECT_FALSE(answer(Status(401)).notice);
  // Covers stay on: the next album is looked up.
  queue.Latest(Request("y"));
  EXPECT_TRUE(queue.Holds("y"));
  ASSERT_TRUE(queue.Due());
  now = *queue.Due();
  queue.Next(now);
  EXPECT_TRUE(queue.Holds("y"));
  const TargetQueue::Outcome odd =
      queue.Unusable(now, "'s answer was not a search result");
  EXPECT_EQ(odd.verdict, Verdict::kRejected);
  EXPECT_EQ(odd.notice,
            "trackwire_receiver: MusicBrainz's answer was not a search "
            "result; that album has no cover for a day");
  EXPECT_FALSE(queue.Holds("y"));
  EXPECT_FALSE(queue.Due());
  queue.Latest(Request("z"));
  EXPECT_EQ(*queue.Due(), now + seconds(1));
  queue.Next(now + seconds(1));
  EXPECT_FALSE(queue.Unusable(now, "'s answer was not a search result").notice);
}

TEST(TargetQueueTest, OneNoticePerKindAndOneWhenItWorksAgain) {
  TargetQueue queue("webhook discord");
  Time now = kStart;
  const auto answer = [&](const Reply& reply) {
    queue.Latest(Request("x"));
    now = std::max(now, queue.Due().value_or(now));
    EXPECT_TRUE(queue.Next(now));
    return queue.Answered(now, reply);
  };
  EXPECT_EQ(answer(Unreachable()).notice,
            "trackwire_receiver: webhook discord cannot be reached: the "
            "connection was refused; trying again");
  EXPECT_FALSE(answer(Unreachable()).notice);
  EXPECT_EQ(answer(Status(502)).notice,
            "trackwire_receiver: webhook discord answered HTTP 502; trying "
            "again");
  EXPECT_FALSE(answer(Status(503)).notice);
  EXPECT_FALSE(answer(Status(429)).notice);
  EXPECT_EQ(answer(Unreachable(true)).notice,
            "trackwire_receiver: webhook discord's certificate was not "
            "accepted: the certificate's name does not match; trying again");
  const TargetQueue::Outcome again = answer(Status(204));
  EXPECT_EQ(again.notice, "trackwire_receiver: webhook discord works again");
  EXPECT_FALSE(again.notice_is_error);
  EXPECT_FALSE(answer(Status(204)).notice);
  EXPECT_TRUE(answer(Unreachable()).notice);  // a new outage is told again
  EXPECT_TRUE(answer(Status(200)).notice);

  const TargetQueue::Outcome rejected = answer(
      Status(400, "application/json",
             R"({"code":400,"error":"Cannot\tsend\r\nempty\u001b\u007f!"})"));
  EXPECT_EQ(rejected.verdict, Verdict::kRejected);
  EXPECT_EQ(rejected.notice,
            "trackwire_receiver: webhook discord answered HTTP 400: Cannot "
            "send  empty  !; this song is not sent");
  EXPECT_FALSE(answer(Status(404, "text/html", "<p>gone</p>")).notice);
  EXPECT_FALSE(queue.Due());  // rejected songs are not sent again
  // Rejections are no outage: nothing works again after them.
  EXPECT_FALSE(answer(Status(200)).notice);
}

// What the control page shows of a target: each answer's health, with the
// latest problem, whether or not a notice was told.
TEST(TargetQueueTest, TheHealthFollowsEachAnswer) {
  using Health = TargetQueue::Health;
  TargetQueue queue("Icecast");
  EXPECT_EQ(queue.health(), Health::kWaiting);
  const auto answer = [&queue](const Reply& reply) {
    queue.Latest(Request("now"));
    queue.Reset();
    queue.Next(kStart);
    queue.Answered(kStart, reply);
    return std::make_pair(queue.health(), queue.problem());
  };
  EXPECT_EQ(
      answer(Unreachable()),
      std::make_pair(Health::kFailing,
                     std::string("Icecast cannot be reached: the "
                                 "connection was refused; trying again")));
  EXPECT_EQ(
      answer(Status(502)),
      std::make_pair(Health::kFailing,
                     std::string("Icecast answered HTTP 502; trying again")));
  // A service pacing us leaves the health as it was.
  EXPECT_EQ(answer(Status(429)).second,
            "Icecast answered HTTP 502; trying again");
  EXPECT_EQ(answer(Status(200)),
            std::make_pair(Health::kWorking, std::string()));
  EXPECT_EQ(answer(Status(403)).first, Health::kRefused);
  EXPECT_EQ(answer(Status(400, "text/plain", "no mount")),
            std::make_pair(Health::kFailing,
                           std::string("Icecast answered HTTP 400: no mount; "
                                       "this song is not sent")));
  Reply moved = Status(301);
  moved.redirect = "https://elsewhere.example/admin";
  EXPECT_EQ(answer(moved).first, Health::kRedirected);

  // An album without a cover is no failure of the covers' service.
  TargetQueue covers("the Cover Art Archive", {}, TargetQueue::Kind::kCovers);
  covers.Latest(Request("front"));
  covers.Next(kStart);
  covers.Answered(kStart, Status(404));
  EXPECT_EQ(covers.health(), Health::kWorking);
}

}  // namespace
}  // namespace receiver
