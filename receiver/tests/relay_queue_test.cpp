#include <gtest/gtest.h>

#include "receiver/relay/target_queue.h"

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
  for (const char* id : {"1", "2", "3"}) queue.Keep(Request(id), id);
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
    if (outcome.accepted_id) accepted.push_back(*outcome.accepted_id);
  }
  EXPECT_EQ(sent,
            (std::vector<std::string>{"now", "1", "1", "1", "2", "2", "3"}));
  EXPECT_EQ(accepted, (std::vector<std::string>{"1", "2", "3"}));
  EXPECT_EQ(queue.KeptCount(), 0u);
  EXPECT_FALSE(queue.Due());
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
  queue.Keep(Request("1"), "1");
  queue.Next(kStart);
  const TargetQueue::Outcome refused = queue.Answered(kStart, Status(401));
  EXPECT_EQ(refused.verdict, Verdict::kRefused);
  EXPECT_EQ(
      refused.notice,
      "trackwire_receiver: ListenBrainz refused the credentials (HTTP "
      "401); check the token in [listenbrainz] in trackwire_receiver.ini");
  EXPECT_FALSE(refused.accepted_id);
  queue.Latest(Request("now"));
  EXPECT_FALSE(queue.Due());
  EXPECT_FALSE(queue.Next(kStart + std::chrono::hours(5)));
  EXPECT_EQ(queue.KeptCount(), 1u);
  queue.Reset();
  EXPECT_EQ(queue.Next(kStart)->url, "now");
  queue.Answered(kStart, Status(200));
  EXPECT_EQ(queue.Next(kStart)->url, "1");
  EXPECT_EQ(queue.Answered(kStart, Status(200)).accepted_id, "1");
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

  const TargetQueue::Outcome rejected = answer(Status(
      400, "application/json", R"({"code":400,"error":"Cannot send\nempty"})"));
  EXPECT_EQ(rejected.verdict, Verdict::kRejected);
  EXPECT_EQ(rejected.notice,
            "trackwire_receiver: webhook discord answered HTTP 400: Cannot "
            "send empty; this song is not sent");
  EXPECT_FALSE(answer(Status(404, "text/html", "<p>gone</p>")).notice);
  EXPECT_FALSE(queue.Due());  // rejected songs are not sent again
  // Rejections are no outage: nothing works again after them.
  EXPECT_FALSE(answer(Status(200)).notice);
}

}  // namespace
}  // namespace receiver
