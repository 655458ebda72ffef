#include "receiver/services/service_settings.h"
#include "receiver/settings/seal_secrets.h"

#include <gtest/gtest.h>

#include "receiver/settings/settings_file.h"
#include "receiver/system/ascii.h"

namespace receiver {
namespace {

// Stand-ins for the Windows user's encryption: hex, and back.
std::optional<std::string> FakeSeal(std::string_view clear) {
  constexpr char kHex[] = "0123456789abcdef";
  std::string out(kSealedPrefix);
  for (const char c : clear) {
    out += kHex[static_cast<unsigned char>(c) >> 4];
    out += kHex[static_cast<unsigned char>(c) & 0x0F];
  }
  return out;
}

// Hex that is not whole is damaged; "dpapi:00..." is another user's.
Unsealed FakeUnseal(std::string_view sealed) {
  sealed.remove_prefix(kSealedPrefix.size());
  const Unsealed damaged{std::nullopt, Unsealed::Failure::kDamaged};
  if (sealed.size() % 2 != 0) return damaged;
  if (sealed.compare(0, 2, "00") == 0) {
    return {std::nullopt, Unsealed::Failure::kOtherUser};
  }
  std::string out;
  for (std::size_t i = 0; i < sealed.size(); i += 2) {
    const std::string pair(sealed.substr(i, 2));
    if (pair.find_first_not_of("0123456789abcdef") != std::string::npos) {
      return damaged;
    }
    out += static_cast<char>(std::stoi(pair, nullptr, 16));
  }
  return {out, Unsealed::Failure::kNone};
}

SettingsRead Read(std::string_view text, const ReceiverSettings& before = {},
                  const Unseal& unseal = FakeUnseal) {
  return ReadSettings(text, nullptr, before, unseal);
}

std::vector<std::string> Texts(const SettingsRead& read) {
  std::vector<std::string> texts;
  for (const SettingsProblem& problem : read.problems) {
    texts.push_back(ProblemText(problem));
  }
  return texts;
}

TEST(TargetSettingsTest, AllSectionsRead) {
  const SettingsRead read = Read(
      "[covers]\nenabled = yes\nplaceholder = none.png\n"
      "contact = mailto:me@example.org\n"
      "[icecast]\nurl = http://ice.example:8000/admin/metadata?mount=/live\n"
      "password = \"se;cret \"\ntemplate = {TITLE}\n"
      "[shoutcast]\nurl = https://sc.example\nversion = 2\nsid = 7\n"
      "[listenbrainz]\ntoken = dpapi:746f6b\n"
      "[webhook Chat]\nurl = https://hooks.example/a\nmethod = put\n"
      "header = X-A: 1\nheader = X-B: two words\n"
      "body = {\"t\":{title:json}}\n"
      "[webhook empty]\nmethod = GET\n");
  EXPECT_TRUE(read.problems.empty()) << Texts(read).front();
  const TargetSettings& t = read.settings.targets;
  EXPECT_TRUE(t.covers.enabled);
  EXPECT_EQ(t.covers.placeholder, "none.png");
  EXPECT_EQ(t.covers.musicbrainz, "https://musicbrainz.org");
  ASSERT_TRUE(t.icecast);
  EXPECT_EQ(t.icecast->user, "source");
  EXPECT_EQ(t.icecast->password, "se;cret ");
  EXPECT_EQ(
      ExpandTemplate(t.icecast->parts, {"a", "b", "c", ""}, NewLine::kSpace),
      "C");
  ASSERT_TRUE(t.shoutcast);
  EXPECT_EQ(t.shoutcast->version, 2);
  EXPECT_EQ(t.shoutcast->sid, 7);
  EXPECT_EQ(t.shoutcast->template_text, "{artist| - }{title}");
  ASSERT_TRUE(t.listenbrainz);
  EXPECT_EQ(t.listenbrainz->token, "tok");
  ASSERT_EQ(t.webhooks.size(), 1u);  // one without a url is off
  EXPECT_EQ(t.webhooks[0].name, "Chat");
  EXPECT_EQ(t.webhooks[0].method, "PUT");
  EXPECT_EQ(t.webhooks[0].headers,
            (std::vector<std::string>{"X-A: 1", "X-B: two words"}));
  EXPECT_EQ(ExpandTemplate(t.webhooks[0].body, {"", "", "\"q\"", ""},
                           NewLine::kSpace),
            R"({"t":"\"q\""})");

  // Equal settings read twice; one change is seen.
  EXPECT_EQ(Read("[icecast]\nurl = http://a\n").settings.targets,
            Read("[icecast]\nurl = http://a\n").settings.targets);
  EXPECT_NE(
      Read("[icecast]\nurl = http://a\n").settings.targets.icecast,
      Read("[icecast]\nurl = http://a\nuser = b\n").settings.targets.icecast);
}

TEST(TargetSettingsTest, LyricsOffByDefaultAndTheirOffsetInSeconds) {
  const TargetSettings none = Read("[lyrics]\n").settings.targets;
  EXPECT_FALSE(none.lyrics.enabled);
  EXPECT_FALSE(LengthsWanted(none));
  const SettingsRead read = Read(
      "[lyrics]\nenabled = yes\noffset = -0.25\nurl = http://127.0.0.1:9/\n");
  EXPECT_TRUE(read.problems.empty()) << Texts(read).front();
  const LyricsSettings& lyrics = read.settings.targets.lyrics;
  EXPECT_TRUE(lyrics.enabled);
  EXPECT_DOUBLE_EQ(lyrics.offset, -0.25);
  EXPECT_EQ(lyrics.url, "http://127.0.0.1:9/");
  EXPECT_TRUE(LengthsWanted(read.settings.targets));
  EXPECT_DOUBLE_EQ(
      Read("[lyrics]\noffset = +2\n").settings.targets.lyrics.offset, 2);
  // A bad value keeps what was in use.
  const SettingsRead bad = Read(
      "[lyrics]\noffset = 61\noffset = 1,5\noffset = -\nurl = lrclib.net\n"
      "colour = red\n",
      read.settings);
  EXPECT_EQ(
      Texts(bad),
      (std::vector<std::string>{
          "line 2, [lyrics]: offset is a number of seconds from -60 to 60, "
          "such as 0.5 or -1, not \"61\"",
          "line 3, [lyrics]: offset is a number of seconds from -60 to 60, "
          "such as 0.5 or -1, not \"1,5\"",
          "line 4, [lyrics]: offset is a number of seconds from -60 to 60, "
          "such as 0.5 or -1, not \"-\"",
          "line 5, [lyrics]: url is an http:// or https:// address, not "
          "\"lrclib.net\"",
          "line 6, [lyrics]: unknown setting \"colour\"; it takes "
          "enabled, offset and url"}));
  EXPECT_DOUBLE_EQ(bad.settings.targets.lyrics.offset, -0.25);
  EXPECT_EQ(bad.settings.targets.lyrics.url, "http://127.0.0.1:9/");
  EXPECT_EQ(Texts(Read("[file lyrics.txt]\n")),
            (std::vector<std::string>{"line 1, [file lyrics.txt]: the receiver "
                                      "keeps lyrics.txt itself"}));
}

// The session alone may be lost (another account): Last.fm can then be
// connected again; a lost secret or half an API account keeps it off.
TEST(TargetSettingsTest, LastFmNeedsKeyAndSecretAndScrobblesWithASession) {
  const SettingsRead read =
      Read("[lastfm]\nkey = K\nsecret = dpapi:53\nsession = dpapi:0053\n");
  ASSERT_TRUE(read.settings.targets.lastfm);
  EXPECT_EQ(read.settings.targets.lastfm->secret, "S");
  EXPECT_EQ(read.settings.targets.lastfm->session, "");
  EXPECT_EQ(read.settings.targets.lastfm->url,
            "https://ws.audioscrobbler.com/2.0/");
  EXPECT_EQ(read.problems.size(), 1u);
  EXPECT_FALSE(LengthsWanted(read.settings.targets));
  const TargetSettings connected =
      Read("[lastfm]\nkey = K\nsecret = S\nsession = dpapi:53\n")
          .settings.targets;
  ASSERT_TRUE(connected.lastfm);
  EXPECT_EQ(connected.lastfm->session, "S");
  EXPECT_TRUE(LengthsWanted(connected));
  EXPECT_FALSE(
      Read("[lastfm]\nkey = K\nsecret = dpapi:0053\n").settings.targets.lastfm);
  const SettingsRead half = Read("[lastfm]\nkey = K\nsecret =\n");
  EXPECT_FALSE(half.settings.targets.lastfm);
  EXPECT_EQ(Texts(half),
            (std::vector<std::string>{
                "line 3, [lastfm]: key and secret both come from your Last.fm "
                "API account; Last.fm stays off until both are set"}));
}

TEST(TargetSettingsTest, ProblemsKeepWhatWasInUse) {
  ReceiverSettings before;
  before.targets.icecast = IcecastSettings();
  before.targets.icecast->url = "http://old.example";
  before.targets.webhooks.emplace_back();
  before.targets.webhooks[0].name = "chat";
  before.targets.webhooks[0].method = "PATCH";
  const SettingsRead read = Read(
      "[icecast]\nurl = ftp://x\ntemplate = {year}\n"
      "[shoutcast]\nurl = http://sc\nversion = 3\nsid = 0\n"
      "[listenbrainz]\ntoken = dpapi:zz\n"
      "[webhook]\nurl = https://lost.example\n"
      "[webhook chat]\nurl = http:///token-123\nurl = https://h.example/1\n"
      "method = DELETE\nheader = no colon token-456\ncolour = red\n"
      "[webhook CHAT]\n"
      "[covers]\nenabled = maybe\nmusicbrainz = mb.example\n",
      before);
  const std::vector<std::string> expected = {
      "line 2, [icecast]: url is an http:// or https:// address, not "
      "\"ftp://x\"",
      "line 3, [icecast]: template: unknown field {year}; the fields are "
      "{artist}, {album} and {title}",
      "line 6, [shoutcast]: version is 1 or 2, not \"3\"",
      "line 7, [shoutcast]: sid is a number from 1 to 999, not \"0\"",
      "line 9, [listenbrainz]: token is damaged (cut or changed since it was "
      "encrypted) and cannot be decrypted; write it again in clear",
      "line 10, [webhook]: needs a name, e.g. [webhook discord]",
      "line 13, [webhook chat]: url is an http:// or https:// address",
      "line 15, [webhook chat]: method is GET, POST, PUT or PATCH, not "
      "\"DELETE\"",
      "line 16, [webhook chat]: header is \"Name: value\", e.g. "
      "Authorization: Bearer ...",
      "line 17, [webhook chat]: unknown setting \"colour\"; a [webhook] "
      "section takes url, method, header and body",
      "line 18, [webhook CHAT]: the section comes twice; the first counts",
      "line 20, [covers]: enabled is yes or no, not \"maybe\"",
      "line 21, [covers]: musicbrainz is an http:// or https:// address, not "
      "\"mb.example\""};
  EXPECT_EQ(Texts(read), expected);
  const TargetSettings& t = read.settings.targets;
  ASSERT_TRUE(t.icecast);
  EXPECT_EQ(t.icecast->url, "http://old.example");
  EXPECT_EQ(t.icecast->template_text, "{artist| - }{title}");
  ASSERT_TRUE(t.shoutcast);
  EXPECT_EQ(t.shoutcast->version, 1);
  EXPECT_EQ(t.shoutcast->sid, 1);
  EXPECT_FALSE(t.listenbrainz);
  ASSERT_EQ(t.webhooks.size(), 1u);
  EXPECT_EQ(t.webhooks[0].url, "https://h.example/1");
  EXPECT_EQ(t.webhooks[0].method, "PATCH");
  EXPECT_TRUE(t.webhooks[0].headers.empty());
  for (const std::string& problem : Texts(read)) {
    EXPECT_EQ(problem.find("token-"), std::string::npos) << problem;
  }

  // Without a way to decrypt, a sealed secret is a problem and its target
  // is off; so is one that cannot be decrypted.
  const std::string sealed =
      "[webhook a]\nurl = " + *FakeSeal("http://h") +
      "\n[icecast]\nurl = http://i\npassword = " + *FakeSeal("pw") + "\n";
  const SettingsRead without = Read(sealed, {}, nullptr);
  EXPECT_EQ(without.problems.size(), 2u);
  EXPECT_EQ(Texts(without)[0].rfind(
                "line 2, [webhook a]: url cannot be decrypted", 0),
            0u);
  EXPECT_FALSE(without.settings.targets.icecast);
  EXPECT_TRUE(without.settings.targets.webhooks.empty());
  const SettingsRead with = Read(sealed);
  EXPECT_TRUE(with.problems.empty());
  EXPECT_EQ(with.settings.targets.icecast->password, "pw");
  EXPECT_EQ(with.settings.targets.webhooks.at(0).url, "http://h");
}

TEST(TargetSettingsTest, SealSecretsChangesOnlyTheValues) {
  const std::string text =
      "\xEF\xBB\xBF; password = not me\r\n"
      "[icecast]\r\n"
      "  Password =   \"p w;\"   ; the admin's\r\n"
      "url = http://i.example\r\n"
      "[listenbrainz]\n"
      "token = dpapi:746f6b\n"
      "[webhook Chat]\n"
      "url=https://h.example/x?a=b ; secret\n"
      "header = Authorization: Bearer t\n"
      "header =\n"
      "[shoutcast]\n"
      "password = x";
  const std::optional<std::string> sealed = SealSecrets(text, FakeSeal).text;
  ASSERT_TRUE(sealed);
  const std::string expected =
      "\xEF\xBB\xBF; password = not me\r\n"
      "[icecast]\r\n"
      "  Password =   dpapi:702077"
      "3b   ; the admin's\r\n"
      "url = http://i.example\r\n"
      "[listenbrainz]\n"
      "token = dpapi:746f6b\n"
      "[webhook Chat]\n"
      "url=" +
      *FakeSeal("https://h.example/x?a=b") +
      " ; secret\n"
      "header = " +
      *FakeSeal("Authorization: Bearer t") +
      "\n"
      "header =\n"
      "[shoutcast]\n"
      "password = dpapi:78";
  EXPECT_EQ(*sealed, expected);
  // Read back it gives the same settings as the clear file.
  EXPECT_EQ(Read(*sealed).settings.targets, Read(text).settings.targets);
  ASSERT_TRUE(Read(*sealed).settings.targets.icecast);
  EXPECT_EQ(Read(*sealed).settings.targets.icecast->password, "p w;");
  // Nothing in clear, or a seal that fails: nothing to write.
  EXPECT_FALSE(SealSecrets(*sealed, FakeSeal).text);
  EXPECT_FALSE(SealSecrets("[covers]\ncontact = x\n", FakeSeal).text);
  EXPECT_FALSE(SealSecrets(text, [](std::string_view) {
                 return std::optional<std::string>();
               }).text);
}

TEST(TargetSettingsTest, EachMethodAndAddressFromAFreshFile) {
  for (const char* method :
       {"GET", "get", "POST", "post", "PUT", "Put", "PATCH", "patch"}) {
    const SettingsRead read = Read(
        "[webhook w]\nurl = http://h/\nmethod = " + std::string(method) + "\n");
    EXPECT_TRUE(read.problems.empty()) << method;
    ASSERT_EQ(read.settings.targets.webhooks.size(), 1u) << method;
    EXPECT_EQ(read.settings.targets.webhooks[0].method, UpperAscii(method));
  }
  for (const char* url : {"http://:8080/x", "https://user@:8080/", "http://",
                          "http:///x", "http://h x/"}) {
    const SettingsRead read =
        Read("[icecast]\nurl = " + std::string(url) + "\n");
    EXPECT_EQ(read.problems.size(), 1u) << url;
    EXPECT_FALSE(read.settings.targets.icecast) << url;
  }
  EXPECT_TRUE(
      Read("[icecast]\nurl = http://h:8080/x\n").settings.targets.icecast);
}

TEST(TargetSettingsTest, AJsonBodyTakesOnlyJsonStrings) {
  ReceiverSettings before;
  before.targets.webhooks.emplace_back();
  before.targets.webhooks[0].name = "kept";
  before.targets.webhooks[0].body_text = R"({"t":{title:json}})";
  before.targets.webhooks[0].body =
      *ParseTemplate(before.targets.webhooks[0].body_text,
                     TemplateBraces::kJson)
           .parts;
  const SettingsRead read = Read(
      "[webhook kept]\nurl = http://h/1\n"
      "body = {\"t\":\"{title}\"}\n"
      "[webhook typed]\nurl = http://h/2\n"
      "body = {\"t\":\"{TITLE:9}\"}\n"
      "header = Content-Type: application/vnd.api+JSON\n"
      "[webhook text]\nurl = http://h/3\nbody = {artist} - {title}\n"
      "header = content-type: Text/Plain\n"
      "[webhook get]\nurl = http://h/4\nmethod = get\nbody = {title}\n"
      "[webhook safe]\nurl = http://h/5\nbody = [{album:json}]\n",
      before);
  const std::vector<std::string> expected = {
      "line 3, [webhook kept]: body: {title} in a JSON body lets the song's "
      "text break the JSON; write {title:json}, a JSON string",
      "line 6, [webhook typed]: body: {TITLE:9} in a JSON body lets the "
      "song's text break the JSON; write {TITLE:9:json}, a JSON string"};
  EXPECT_EQ(Texts(read), expected);
  EXPECT_EQ(read.problems[1].key, "body");
  const std::vector<WebhookSettings>& hooks = read.settings.targets.webhooks;
  ASSERT_EQ(hooks.size(), 5u);
  // The body in use stays; without one that is safe, the default.
  EXPECT_EQ(hooks[0].body_text, R"({"t":{title:json}})");
  EXPECT_EQ(hooks[1].body_text, kDefaultWebhookBody);
  EXPECT_EQ(hooks[2].body_text, "{artist} - {title}");
  EXPECT_EQ(hooks[4].body_text, "[{album:json}]");
}

TEST(TargetSettingsTest, AQuotedSecretBeforeItsCommentSealed) {
  // The fuzzer's input of 25 bytes, in both sections with a password.
  for (const char* section : {"[shoutcast]", "[icecast]"}) {
    const std::string text = std::string(section) + "\npassword=\"h\";";
    const std::optional<std::string> sealed = SealSecrets(text, FakeSeal).text;
    ASSERT_TRUE(sealed) << section;
    const SettingsRead clear = Read(text);
    const SettingsRead back = Read(*sealed);
    EXPECT_EQ(back.settings.targets, clear.settings.targets) << *sealed;
    EXPECT_EQ(back.problems, clear.problems) << *sealed;
  }
}

TEST(TargetSettingsTest, ASecretThatCannotBeSealedIsNamed) {
  const SealedText sealed =
      SealSecrets("[icecast]\npassword = pw\n[webhook Chat]\nurl = x\n",
                  [](std::string_view clear) -> std::optional<std::string> {
                    if (clear == "x") return std::nullopt;
                    return FakeSeal(clear);
                  });
  EXPECT_FALSE(sealed.text);
  EXPECT_EQ(sealed.failed, "[webhook chat] url");
  EXPECT_EQ(SealSecrets("[icecast]\npassword = pw\n", FakeSeal).failed, "");
}

TEST(TargetSettingsTest, JsonFieldsAndJsonBraces) {
  const Song song{"Say \"Hi\"", "", "a\\b\n\xE2\x80\xA8", ""};
  const ParsedTemplate line = ParseTemplate("{artist:json}|{TITLE:2:json}");
  ASSERT_TRUE(line.parts);
  EXPECT_EQ(ExpandTemplate(*line.parts, song, NewLine::kSpace),
            "\"Say \\\"Hi\\\"\"|\"A\xE2\x80\xA6\"");
  EXPECT_FALSE(ParseTemplate("{\"a\":{title:json}}").parts);
  const ParsedTemplate body =
      ParseTemplate("{\"a\":{album:json},\"t\":[{title:json}],\"n\":\"x\\n\"}",
                    TemplateBraces::kJson);
  ASSERT_TRUE(body.parts) << body.error;
  EXPECT_EQ(ExpandTemplate(*body.parts, song, NewLine::kCrLf),
            "{\"a\":\"\",\"t\":[\"a\\\\b\\n\\u2028\"],\"n\":\"x\\n\"}");
  EXPECT_FALSE(
      ParseTemplate("{\"a\":{titel:json}}", TemplateBraces::kJson).parts);
}

}  // namespace
}  // namespace receiver
