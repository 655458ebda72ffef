#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "receiver/discord/ipc_frame.h"
#include "receiver/discord/presence_json.h"
#include "receiver/discord/presence_session.h"
#include "receiver/discord/update_limit.h"

namespace receiver {
namespace {

using std::chrono::seconds;
using Json = nlohmann::json;
using Time = PresenceSession::Time;

const Time kStart = Time() + std::chrono::hours(1);

std::vector<IpcFrame> ReadAll(const std::vector<std::string>& writes) {
  FrameReader reader;
  for (const std::string& bytes : writes) reader.Add(bytes);
  std::vector<IpcFrame> frames;
  IpcFrame frame;
  while (reader.Next(frame) == FrameReader::Read::kFrame) {
    frames.push_back(frame);
  }
  return frames;
}

Playing Song(int n) {
  Playing playing;
  playing.number = static_cast<std::uint64_t>(n);
  playing.artist = "Artist " + std::to_string(n);
  playing.title = "Title " + std::to_string(n);
  playing.start_ms = 1700000000000;
  return playing;
}

TEST(DiscordFrameTest, LittleEndianHeadersAndFramesInAnyPieces) {
  // "é" is two bytes: the length counts bytes.
  const std::string frame = EncodeFrame(Opcode::kPong, "{\"a\":\"\xC3\xA9\"}");
  EXPECT_EQ(frame.substr(0, 8), std::string("\x04\0\0\0\x0A\0\0\0", 8));
  const std::string big = EncodeFrame(Opcode::kFrame, std::string(300, ' '));
  EXPECT_EQ(big.substr(0, 8), std::string("\x01\0\0\0\x2C\x01\0\0", 8));

  // Two frames, a byte at a time: nothing until each is whole.
  const std::string both =
      frame + EncodeFrame(Opcode::kClose, std::string(kMaxFrameJson, 'x'));
  FrameReader reader;
  IpcFrame read;
  std::vector<IpcFrame> frames;
  for (const char c : both) {
    reader.Add(std::string_view(&c, 1));
    const FrameReader::Read result = reader.Next(read);
    ASSERT_NE(result, FrameReader::Read::kBad);
    if (result == FrameReader::Read::kFrame) frames.push_back(read);
  }
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].op, Opcode::kPong);
  EXPECT_EQ(frames[0].json, "{\"a\":\"\xC3\xA9\"}");
  EXPECT_EQ(frames[1].op, Opcode::kClose);
  EXPECT_EQ(frames[1].json.size(), kMaxFrameJson);
  EXPECT_EQ(reader.Next(read), FrameReader::Read::kMore);
}

TEST(DiscordFrameTest, AnOversizedOrUnknownFrameEndsTheConnection) {
  FrameReader oversized;
  oversized.Add(std::string("\x01\0\0\0", 4) +
                std::string("\x01\0\x01\0", 4));  // 65537 bytes
  IpcFrame frame;
  EXPECT_EQ(oversized.Next(frame), FrameReader::Read::kBad);
  // Nothing after it is taken for a frame.
  oversized.Add(EncodeFrame(Opcode::kFrame, "{}"));
  EXPECT_EQ(oversized.Next(frame), FrameReader::Read::kBad);

  FrameReader unknown;
  unknown.Add(EncodeFrame(Opcode::kFrame, "{}") +
              std::string("\x05\0\0\0\x02\0\0\0{}", 10));
  EXPECT_EQ(unknown.Next(frame), FrameReader::Read::kFrame);
  EXPECT_EQ(unknown.Next(frame), FrameReader::Read::kBad);
}

TEST(DiscordJsonTest, TheActivityWithAndWithoutCoverAndLength) {
  DiscordSettings settings;
  settings.application = "123456789012345678";
  settings.image = "trackwire";
  Playing playing = Song(1);
  playing.album = "Album";
  playing.cover_url =
      "https://coverartarchive.org/release-group/"
      "b8aef8a5-0001-4a9b-9b3a-000000000001/front-500";
  playing.length = 215;
  const Json full = Json::parse(ActivityJson(playing, settings));
  EXPECT_EQ(full["type"], 2);
  EXPECT_EQ(full["status_display_type"], 1);
  EXPECT_EQ(full["details"], "Title 1");
  EXPECT_EQ(full["state"], "Artist 1");
  EXPECT_EQ(full["assets"]["large_image"], playing.cover_url);
  EXPECT_EQ(full["assets"]["large_text"], "Album");
  EXPECT_EQ(full["timestamps"]["start"], 1700000000000);
  EXPECT_EQ(full["timestamps"]["end"], 1700000215000);

  // No cover: the settings' image; no length: no end; no album: no text.
  playing.cover_url.clear();
  playing.length = 0;
  playing.album.clear();
  const Json bare = Json::parse(ActivityJson(playing, settings));
  EXPECT_EQ(bare["assets"], Json::parse(R"({"large_image":"trackwire"})"));
  EXPECT_EQ(bare["timestamps"], Json::parse(R"({"start":1700000000000})"));
  settings.image.clear();
  EXPECT_FALSE(Json::parse(ActivityJson(playing, settings)).contains("assets"));

  // Discord's bounds: 2 to 128 UTF-16 units; an emoji counts two.
  playing.title = "X";
  playing.artist = std::string(130, 'a');
  playing.album = "\xF0\x9F\x8E\xB5" + std::string(130, 'b');
  const Json fitted = Json::parse(ActivityJson(playing, settings));
  EXPECT_EQ(fitted["details"], "X\xE2\x80\x8B");
  EXPECT_EQ(fitted["state"], std::string(127, 'a') + "\xE2\x80\xA6");
  EXPECT_EQ(fitted["assets"]["large_text"],
            "\xF0\x9F\x8E\xB5" + std::string(125, 'b') + "\xE2\x80\xA6");

  const Json set = Json::parse(SetActivityJson(4242, "{\"type\":2}", "7"));
  EXPECT_EQ(set, Json::parse(R"({"cmd":"SET_ACTIVITY","nonce":"7",
    "args":{"pid":4242,"activity":{"type":2}}})"));
  EXPECT_EQ(Json::parse(SetActivityJson(4242, "", "8")),
            Json::parse(R"({"cmd":"SET_ACTIVITY","nonce":"8",
              "args":{"pid":4242}})"));
  EXPECT_EQ(Json::parse(HandshakeJson("123456789012345678")),
            Json::parse(R"({"v":1,"client_id":"123456789012345678"})"));
}

TEST(DiscordJsonTest, Answers) {
  using Kind = DiscordAnswer::Kind;
  EXPECT_EQ(
      ReadAnswer(R"({"cmd":"DISPATCH","evt":"READY","data":{"v":1}})").kind,
      Kind::kReady);
  const DiscordAnswer error = ReadAnswer(
      R"({"cmd":"DISPATCH","evt":"ERROR","data":{"code":4000,"message":"Invalid Client ID"}})");
  EXPECT_EQ(error.kind, Kind::kError);
  EXPECT_EQ(error.code, 4000);
  EXPECT_EQ(error.message, "Invalid Client ID");
  const DiscordAnswer close = ReadAnswer(R"({"code":4000,"message":"No"})");
  EXPECT_EQ(close.kind, Kind::kOther);
  EXPECT_EQ(close.code, 4000);
  EXPECT_EQ(close.message, "No");
  EXPECT_EQ(ReadAnswer("{\"evt\":").kind, Kind::kOther);
  EXPECT_EQ(ReadAnswer(R"({"code":1e99,"evt":5})").code, 0);
}

TEST(DiscordLimitTest, FiveUpdatesInAnyTwentySeconds) {
  UpdateLimit limit;
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(limit.NextFree(kStart + seconds(i)), kStart + seconds(i));
    limit.Sent(kStart + seconds(i));
  }
  EXPECT_EQ(limit.NextFree(kStart + seconds(5)), kStart + seconds(20));
  limit.Sent(kStart + seconds(20));
  // The window slides: the second update leaves it at 21 s.
  EXPECT_EQ(limit.NextFree(kStart + seconds(20)), kStart + seconds(21));
  EXPECT_EQ(limit.NextFree(kStart + seconds(30)), kStart + seconds(30));
}

// A session that has the app's READY.
PresenceSession Ready(std::vector<IpcFrame>* handshake = nullptr) {
  DiscordSettings settings;
  settings.application = "123456789012345678";
  PresenceSession session(settings, 4242, kStart);
  EXPECT_TRUE(session.WantsPipe(kStart));
  session.Opened(kStart);
  const std::vector<IpcFrame> frames = ReadAll(session.TakeWrites(kStart));
  if (handshake) *handshake = frames;
  session.Received({Opcode::kFrame, R"({"cmd":"DISPATCH","evt":"READY"})"},
                   kStart);
  EXPECT_EQ(session.status().kind, PresenceStatus::Kind::kConnected);
  return session;
}

TEST(DiscordSessionTest, ABurstSendsFiveThenTheNewestWhenTheWindowAllows) {
  std::vector<IpcFrame> handshake;
  PresenceSession session = Ready(&handshake);
  ASSERT_EQ(handshake.size(), 1u);
  EXPECT_EQ(handshake[0].op, Opcode::kHandshake);
  std::vector<std::string> titles;
  for (int n = 1; n <= 10; ++n) {
    session.Show(Song(n));
    for (const IpcFrame& frame : ReadAll(session.TakeWrites(kStart))) {
      titles.push_back(Json::parse(frame.json)["args"]["activity"]["details"]);
    }
  }
  EXPECT_EQ(titles, (std::vector<std::string>{"Title 1", "Title 2", "Title 3",
                                              "Title 4", "Title 5"}));
  EXPECT_EQ(session.NextWake(kStart), kStart + seconds(20));
  EXPECT_TRUE(session.TakeWrites(kStart + seconds(19)).empty());
  const std::vector<IpcFrame> late =
      ReadAll(session.TakeWrites(kStart + seconds(20)));
  ASSERT_EQ(late.size(), 1u);
  EXPECT_EQ(Json::parse(late[0].json)["args"]["activity"]["details"],
            "Title 10");
  EXPECT_EQ(session.NextWake(kStart + seconds(20)), std::nullopt);
}

TEST(DiscordSessionTest, PingLossAndReconnectSetTheSongAgainThenClear) {
  PresenceSession session = Ready();
  session.Show(Song(1));
  ASSERT_EQ(ReadAll(session.TakeWrites(kStart)).size(), 1u);
  session.Received({Opcode::kPing, R"({"n":1})"}, kStart);
  const std::vector<IpcFrame> pong = ReadAll(session.TakeWrites(kStart));
  ASSERT_EQ(pong.size(), 1u);
  EXPECT_EQ(pong[0].op, Opcode::kPong);
  EXPECT_EQ(pong[0].json, R"({"n":1})");

  session.Lost(kStart + seconds(1));
  EXPECT_EQ(session.status().kind, PresenceStatus::Kind::kWaiting);
  EXPECT_FALSE(session.WantsPipe(kStart + seconds(15)));
  EXPECT_TRUE(session.WantsPipe(kStart + seconds(16)));
  session.Opened(kStart + seconds(16));
  EXPECT_EQ(ReadAll(session.TakeWrites(kStart + seconds(16))).size(), 1u);
  session.Received({Opcode::kFrame, R"({"evt":"READY"})"},
                   kStart + seconds(16));
  const std::vector<IpcFrame> again =
      ReadAll(session.TakeWrites(kStart + seconds(16)));
  ASSERT_EQ(again.size(), 1u);
  EXPECT_EQ(Json::parse(again[0].json)["args"]["activity"]["details"],
            "Title 1");
  EXPECT_TRUE(session.TakeNotices().empty());

  session.Clear();
  const std::vector<IpcFrame> cleared =
      ReadAll(session.TakeWrites(kStart + seconds(17)));
  ASSERT_EQ(cleared.size(), 1u);
  EXPECT_FALSE(Json::parse(cleared[0].json)["args"].contains("activity"));
  EXPECT_TRUE(session.Goodbye().empty());
}

TEST(DiscordSessionTest, ARefusedIdIsToldOnceAndTriedAgainAtASave) {
  DiscordSettings settings;
  settings.application = "123456789012345678";
  PresenceSession session(settings, 4242, kStart);
  session.Opened(kStart);
  session.TakeWrites(kStart);
  session.Received({Opcode::kFrame, R"({"evt":"ERROR","data":{"code":4000,
                     "message":"Invalid Client ID"}})"},
                   kStart);
  session.Received({Opcode::kClose, R"({"code":4000})"}, kStart);
  EXPECT_TRUE(session.TakeClose(kStart));
  session.Lost(kStart);
  const std::vector<std::string> notices = session.TakeNotices();
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_NE(notices[0].find("Invalid Client ID (4000)"), std::string::npos);
  EXPECT_EQ(session.status().kind, PresenceStatus::Kind::kRefused);
  EXPECT_FALSE(session.WantsPipe(kStart + seconds(60)));
  EXPECT_EQ(session.NextWake(kStart), std::nullopt);

  session.Apply(settings, kStart + seconds(61));
  EXPECT_TRUE(session.WantsPipe(kStart + seconds(61)));
  session.Opened(kStart + seconds(61));
  session.Received({Opcode::kFrame, R"({"evt":"READY"})"},
                   kStart + seconds(61));
  ASSERT_EQ(session.TakeNotices().size(), 1u);  // taken now
}

}  // namespace
}  // namespace receiver
