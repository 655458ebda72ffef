#include "receiver/web/handler.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace receiver {
namespace {

class Songs : public SongStore {
 public:
  std::optional<Song> Current() const override { return current; }
  void Store(Song song) override {
    current = song;
    stored.push_back(std::move(song));
  }
  bool Idle() const override { return idle; }
  std::string ChatLine() const override { return "chat line"; }
  std::string HistoryJson() const override { return "[1]\n"; }
  std::optional<CoverImage> Cover() const override { return cover; }
  void Control(const ControlCall& call, const ControlReply& reply) override {
    calls.push_back(call.name + (call.post ? " POST " : " GET ") + call.body);
    reply(200, "{\"ok\":true}\n");
  }
  std::vector<std::string> calls;
  bool idle = false;
  std::optional<CoverImage> cover;
  std::optional<Song> current;
  std::vector<Song> stored;
};

using Fields = std::vector<std::pair<std::string, std::string>>;

class HandlerTest : public ::testing::Test {
 protected:
  HandlerTest() {
    settings_.hosts = HostCheck({"STUDIO", "studio.corp.example"});
    // A stand-in for the sender's code page: Latin-1.
    settings_.to_utf8 = [](std::string_view bytes) {
      std::string out;
      for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
          out += c;
        } else {
          out += static_cast<char>(0xC0 | (byte >> 6));
          out += static_cast<char>(0x80 | (byte & 0x3F));
        }
      }
      return out;
    };
    settings_.now = [] { return std::string("2024-05-01T20:15:00Z"); };
  }

  Answer Send(http::verb method, const std::string& target, Fields fields,
              unsigned version = 11, bool loopback = true) {
    Request request{method, target, version};
    for (const auto& [name, value] : fields) request.insert(name, value);
    Peer peer;
    peer.address = loopback ? "127.0.0.1" : "192.0.2.7";
    peer.loopback = loopback;
    return HandleRequest(request, peer, settings_, songs_);
  }

  Answer Get(const std::string& target, Fields fields = {}) {
    Fields with_host =
        fields.size() == 0 ? Fields{{"Host", "127.0.0.1"}} : fields;
    return Send(http::verb::get, target, with_host);
  }

  HandlerSettings settings_;
  Songs songs_;
};

constexpr const char* kReport =
    "/set_current_song.php?artist=Bj%F6rk&album=&title=Army%20of%20Me";

TEST_F(HandlerTest, ThePlugInsReportIsStoredAndAnswered204) {
  // The plug-in's own request: Host and its User-Agent, nothing else.
  const Answer answer =
      Send(http::verb::get, kReport,
           {{"Host", "127.0.0.1"}, {"User-Agent", "Winamp Tunebeacon"}}, 10);
  EXPECT_EQ(answer.response.result(), http::status::no_content);
  EXPECT_TRUE(answer.close);
  ASSERT_EQ(songs_.stored.size(), 1u);
  EXPECT_EQ(songs_.stored[0].artist, "Bj\xC3\xB6rk");
  EXPECT_EQ(songs_.stored[0].title, "Army of Me");
  EXPECT_EQ(songs_.stored[0].received, "2024-05-01T20:15:00Z");
  // From another PC, by an address or this PC's fully qualified name.
  EXPECT_EQ(Send(http::verb::get, kReport,
                 {{"Host", "Studio.Corp.Example.:8080"},
                  {"User-Agent", "curl/7.88.1"}},
                 11, false)
                .response.result(),
            http::status::no_content);
  EXPECT_EQ(songs_.stored.size(), 2u);
}

TEST_F(HandlerTest, AReportWithCharsetUtf8IsReadAsUtf8) {
  struct Case {
    std::string query, artist, album, title;
  };
  const std::vector<Case> cases = {
      {"charset=UTF-8&artist=%E5%AE%87%E5%A4%9A%E7%94%B0%E3%83%92%E3%82%AB%E3"
       "%83%AB&album=%D9%88%D8%AD%D8%AF%D9%86&title=Party+%F0%9F%8E%89%F0%9F"
       "%94%A5%20Time",
       "宇多田ヒカル", "وحدن", "Party 🎉🔥 Time"},
      // Broken bytes: a stray one, a cut sequence, a surrogate's.
      {"artist=Caf%E9&album=%C3&title=%ED%A0%80!&charset=utf-8", "Caf\uFFFD",
       "\uFFFD", "\uFFFD\uFFFD\uFFFD!"},
      // Without it the code page as ever; '+' is a space either way.
      {"artist=Caf%C3%A9&album=a+b&title=%E9", "Caf\u00C3\u00A9", "a b",
       "\u00E9"},
      {"charset=windows-1252&charset=utf-8&title=%C3%A9", "", "",
       "\u00C3\u00A9"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Get("/set_current_song.php?" + c.query).response.result(),
              http::status::no_content);
    ASSERT_TRUE(songs_.current);
    EXPECT_EQ(songs_.current->artist, c.artist) << c.query;
    EXPECT_EQ(songs_.current->album, c.album) << c.query;
    EXPECT_EQ(songs_.current->title, c.title) << c.query;
  }
}

TEST_F(HandlerTest, NoWebPageStoresASong) {
  const std::string page_agent =
      "Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 Chrome/120";
  for (const Fields& fields : std::vector<Fields>{
           // An <img> on a page elsewhere, through a LAN address: no fetch
           // metadata there, only a Referer...
           {{"Host", "192.0.2.2"},
            {"Referer", "http://evil.test/"},
            {"User-Agent", page_agent}},
           // ...or none at all (referrer policy no-referrer).
           {{"Host", "192.0.2.2"}, {"User-Agent", page_agent}},
           {{"Host", "studio"}, {"User-Agent", "mozilla/5.0"}},
           // Browsers without fetch metadata, and a sandboxed frame.
           {{"Host", "127.0.0.1"}, {"Origin", "http://evil.test"}},
           {{"Host", "127.0.0.1"}, {"Origin", "null"}},
           // Values compared without regard to case.
           {{"Host", "127.0.0.1"}, {"Sec-Fetch-Site", "Cross-Site"}},
           {{"Host", "127.0.0.1"}, {"Sec-Fetch-Site", "same-origin"}},
           {{"Host", "127.0.0.1"},
            {"Sec-Fetch-Site", "none"},
            {"Referer", "http://evil.test/"}},
       }) {
    const Answer answer = Get(kReport, fields);
    EXPECT_EQ(answer.response.result(), http::status::forbidden);
  }
  EXPECT_TRUE(songs_.stored.empty());
  // An address typed into this PC's browser is still taken.
  EXPECT_EQ(Get(kReport, {{"Host", "127.0.0.1"},
                          {"User-Agent", page_agent},
                          {"Sec-Fetch-Site", "NONE"}})
                .response.result(),
            http::status::no_content);
}

TEST_F(HandlerTest, WithAKeyOnlyReportsThatCarryItAreStored) {
  settings_.key = "s3cret";
  for (const char* query : {"", "key=&", "key=s3cre&", "key=s3cret2&",
                            "key=S3CRET&", "kEy=s3cret&"}) {
    EXPECT_EQ(Get(std::string("/set_current_song.php?") + query + "title=x")
                  .response.result(),
              http::status::forbidden)
        << query;
  }
  EXPECT_TRUE(songs_.stored.empty());
  EXPECT_EQ(Get("/set_current_song.php?title=x&key=s3%63ret").response.result(),
            http::status::no_content);
  EXPECT_EQ(songs_.stored.size(), 1u);
  EXPECT_TRUE(SameKey("", ""));
  EXPECT_FALSE(SameKey(std::string_view("s3cret\0", 7), "s3cret"));
}

TEST_F(HandlerTest, HeadChangesNothingAndAnswersAsAGetWould) {
  const Answer report =
      Send(http::verb::head, kReport, {{"Host", "127.0.0.1"}});
  EXPECT_EQ(report.response.result(), http::status::method_not_allowed);
  EXPECT_EQ(report.response[http::field::allow], "GET");
  EXPECT_TRUE(report.response.body().empty());
  EXPECT_TRUE(songs_.stored.empty());
  songs_.current = Song{"A", "B", "C", "2024-05-01T20:15:00Z"};
  for (const char* target : {"/", "/?overlay=1", "/now_playing.json"}) {
    const Answer get = Get(target);
    const Answer head = Send(http::verb::head, target, {{"Host", "127.0.0.1"}});
    EXPECT_EQ(head.response.result(), http::status::ok) << target;
    EXPECT_TRUE(head.response.body().empty()) << target;
    EXPECT_EQ(head.response[http::field::content_length],
              std::to_string(get.response.body().size()))
        << target;
    EXPECT_EQ(head.response[http::field::content_type],
              get.response[http::field::content_type]);
  }
  const Answer events =
      Send(http::verb::head, "/events", {{"Host", "127.0.0.1"}});
  EXPECT_FALSE(events.follow_events);
  EXPECT_EQ(events.response[http::field::content_type],
            "text/event-stream; charset=utf-8");
  EXPECT_TRUE(Get("/events").follow_events);
}

TEST_F(HandlerTest, HostsAreCheckedAndAMissingOneIsAnError) {
  // HTTP/1.1 requires Host; HTTP/1.0 may leave it out, from this PC only.
  const Answer no_host = Send(http::verb::get, "/", {});
  EXPECT_EQ(no_host.response.result(), http::status::bad_request);
  EXPECT_TRUE(no_host.close);
  EXPECT_EQ(Send(http::verb::get, "/", {}, 10).response.result(),
            http::status::ok);
  const Answer remote = Send(http::verb::get, kReport, {}, 10, false);
  EXPECT_EQ(remote.response.result(), http::status::forbidden);
  ASSERT_TRUE(remote.refused_host);
  EXPECT_FALSE(remote.refused_host->host);
  EXPECT_EQ(remote.refused_host->peer, "192.0.2.7");
  // A name of a page's own (DNS rebinding), in the field or the target.
  const Answer rebound = Get(kReport, {{"Host", "evil.test"}});
  EXPECT_EQ(rebound.response.result(), http::status::forbidden);
  ASSERT_TRUE(rebound.refused_host && rebound.refused_host->host);
  EXPECT_EQ(*rebound.refused_host->host, "evil.test");
  EXPECT_EQ(
      Get(std::string("http://evil.test") + kReport, {{"Host", "127.0.0.1"}})
          .response.result(),
      http::status::forbidden);
  EXPECT_EQ(
      Get(std::string("http://127.0.0.1:81") + kReport, {{"Host", "evil.test"}})
          .response.result(),
      http::status::no_content);
  EXPECT_EQ(
      Send(http::verb::get, "/", {{"Host", "127.0.0.1"}, {"Host", "127.0.0.1"}})
          .response.result(),
      http::status::bad_request);
  EXPECT_EQ(songs_.stored.size(), 1u);
}

TEST_F(HandlerTest, RoutesMethodsAndTheOverlaysFade) {
  const Answer overlay = Get("/?overlay=1&hide=3");
  EXPECT_NE(overlay.response.body().find(" data-hide=\"3\">"),
            std::string::npos);
  EXPECT_NE(overlay.response.body().find("<body class=\"overlay "),
            std::string::npos);
  EXPECT_EQ(Get("/now_playing.json").response.body(), "null\n");
  EXPECT_EQ(Get("/now_playing.txt").response.result(), http::status::not_found);
  const Answer options =
      Send(http::verb::options, "*", {{"Host", "127.0.0.1"}});
  EXPECT_EQ(options.response.result(), http::status::no_content);
  EXPECT_EQ(options.response[http::field::allow], "GET, HEAD, OPTIONS");
  // A browser's preflight gets no CORS permission.
  const Answer preflight = Send(http::verb::options, kReport,
                                {{"Host", "127.0.0.1"},
                                 {"Origin", "https://attacker.example"},
                                 {"Access-Control-Request-Method", "GET"}});
  EXPECT_EQ(preflight.response.result(), http::status::method_not_allowed);
  EXPECT_EQ(preflight.response.find("Access-Control-Allow-Origin"),
            preflight.response.end());
  const Answer post = Send(http::verb::post, "/", {{"Host", "127.0.0.1"}});
  EXPECT_EQ(post.response.result(), http::status::method_not_allowed);
  EXPECT_EQ(post.response[http::field::allow], "GET, HEAD");
  EXPECT_EQ(Send(http::verb::post, kReport, {{"Host", "127.0.0.1"}})
                .response.result(),
            http::status::method_not_allowed);
  EXPECT_EQ(Get("/set_current_song.php?other=1").response.result(),
            http::status::bad_request);
  EXPECT_TRUE(songs_.stored.empty());
}

TEST_F(HandlerTest, ChatLineHistoryAndIdle) {
  const Answer chat = Get("/song");
  EXPECT_EQ(chat.response.result(), http::status::ok);
  EXPECT_EQ(chat.response.body(), "chat line");
  EXPECT_EQ(chat.response[http::field::content_type],
            "text/plain; charset=utf-8");
  EXPECT_EQ(chat.response[http::field::cache_control], "no-store");
  // Host names are checked here as everywhere.
  EXPECT_EQ(Get("/song", {{"Host", "evil.test"}}).response.result(),
            http::status::forbidden);
  const Answer history = Get("/history.json");
  EXPECT_EQ(history.response.body(), "[1]\n");
  EXPECT_EQ(history.response[http::field::content_type],
            "application/json; charset=utf-8");
  songs_.current = Song{"A", "", "T", "2024-05-01T20:15:00Z"};
  songs_.idle = true;
  EXPECT_NE(Get("/now_playing.json").response.body().find("\"idle\": true"),
            std::string::npos);
  EXPECT_NE(Get("/?overlay=1").response.body().find("data-idle=\"1\""),
            std::string::npos);
  EXPECT_EQ(Send(http::verb::post, "/song", {{"Host", "127.0.0.1"}})
                .response.result(),
            http::status::method_not_allowed);
}

TEST_F(HandlerTest, TheCoverWithItsTypeOr404) {
  const Answer none = Get("/cover.jpg");
  EXPECT_EQ(none.response.result(), http::status::not_found);
  EXPECT_EQ(none.response[http::field::content_type],
            "text/plain; charset=utf-8");
  const std::string png("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16);
  songs_.cover =
      CoverImage{std::make_shared<const std::string>(png), "image/png"};
  for (const char* target : {"/cover.jpg", "/cover.jpg?0123456789abcdef"}) {
    const Answer get = Get(target);
    EXPECT_EQ(get.response.result(), http::status::ok) << target;
    EXPECT_EQ(get.response.body(), png);
    EXPECT_EQ(get.response[http::field::content_type], "image/png");
    EXPECT_EQ(get.response[http::field::content_length], "16");
    EXPECT_EQ(get.response[http::field::cache_control], "no-cache");
    EXPECT_EQ(get.response["X-Content-Type-Options"], "nosniff");
    const Answer head = Send(http::verb::head, target, {{"Host", "127.0.0.1"}});
    EXPECT_EQ(head.response.result(), http::status::ok);
    EXPECT_TRUE(head.response.body().empty());
    EXPECT_EQ(head.response[http::field::content_length], "16");
    EXPECT_EQ(head.response[http::field::content_type], "image/png");
  }
  // As every route: the host is checked, and only GET and HEAD are taken.
  EXPECT_EQ(Get("/cover.jpg", {{"Host", "evil.test"}}).response.result(),
            http::status::forbidden);
  EXPECT_EQ(Send(http::verb::post, "/cover.jpg", {{"Host", "127.0.0.1"}})
                .response.result(),
            http::status::method_not_allowed);
  EXPECT_EQ(Get("/cover.png").response.result(), http::status::not_found);
}

// The control page is this PC's user's: its calls need the key made at the
// start, from this PC, and from no other site's page.
TEST_F(HandlerTest, TheControlPageAnswersOnlyThisPCsUserWithTheKey) {
  settings_.control_key = "0123456789abcdef";
  const auto call = [this](Fields fields, bool loopback = true) {
    Request request{http::verb::post, "/control/api/state", 11};
    for (const auto& [name, value] : fields) request.insert(name, value);
    request.body() = "{}";
    Peer peer;
    peer.loopback = loopback;
    Answer answer = HandleRequest(request, peer, settings_, songs_);
    if (answer.later) {
      answer.later([&answer](Response response) {
        answer.response = std::move(response);
      });
    }
    return answer.response.result();
  };
  const Fields host = {{"Host", "127.0.0.1:8080"}};
  const auto with = [&host](Fields more) {
    Fields all = host;
    all.insert(all.end(), more.begin(), more.end());
    return all;
  };
  const std::pair<std::string, std::string> key = {"X-Trackwire-Key",
                                                   "0123456789abcdef"};
  EXPECT_EQ(call(host), http::status::forbidden);
  EXPECT_EQ(call(with({{"X-Trackwire-Key", "0123456789abcdee"}})),
            http::status::forbidden);
  EXPECT_EQ(call(with({key}), false), http::status::forbidden);
  EXPECT_EQ(call(with({key, {"Origin", "http://evil.test"}})),
            http::status::forbidden);
  EXPECT_EQ(call(with({key, {"Sec-Fetch-Site", "cross-site"}})),
            http::status::forbidden);
  EXPECT_TRUE(songs_.calls.empty());
  EXPECT_EQ(call(with({key,
                       {"Origin", "http://127.0.0.1:8080"},
                       {"Sec-Fetch-Site", "same-origin"}})),
            http::status::ok);
  EXPECT_EQ(songs_.calls, std::vector<std::string>{"state POST {}"});
  settings_.control_key.clear();
  EXPECT_EQ(call(with({{"X-Trackwire-Key", ""}})), http::status::forbidden);

  const Answer page = Get("/control");
  EXPECT_EQ(page.response.result(), http::status::ok);
  EXPECT_EQ(page.response["X-Frame-Options"], "DENY");
  EXPECT_EQ(
      Send(http::verb::get, "/control", host, 11, false).response.result(),
      http::status::forbidden);
}

}  // namespace
}  // namespace receiver
