#include "receiver/text/target_settings.h"

#include <gtest/gtest.h>

#include "receiver/text/settings_file.h"

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

std::optional<std::string> FakeUnseal(std::string_view sealed) {
  sealed.remove_prefix(kSealedPrefix.size());
  if (sealed.size() % 2 != 0) return std::nullopt;
  std::string out;
  for (std::size_t i = 0; i < sealed.size(); i += 2) {
    const std::string pair(sealed.substr(i, 2));
    if (pair.find_first_not_of("0123456789abcdef") != std::string::npos) {
      return std::nullopt;
    }
    out += static_cast<char>(std::stoi(pair, nullptr, 16));
  }
  return out;
}

SettingsRead Read(std::string_view text, const ReceiverSettings& before = {},
                  const Unseal& unseal = FakeUnseal) {
  return ReadSettings(text, nullptr, before, unseal);
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
  EXPECT_TRUE(read.problems.empty()) << read.problems.front();
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
      "line 2: [icecast] url is an http:// or https:// address, not "
      "\"ftp://x\"",
      "line 3: [icecast] template: unknown field {year}; the fields are "
      "{artist}, {album} and {title}",
      "line 6: [shoutcast] version is 1 or 2, not \"3\"",
      "line 7: [shoutcast] sid is a number from 1 to 999, not \"0\"",
      "line 9: [listenbrainz] token cannot be decrypted by this Windows user "
      "(the file comes from another account or PC); write it again in clear",
      "line 10: [webhook] needs a name, e.g. [webhook discord]",
      "line 13: [webhook chat] url is an http:// or https:// address",
      "line 15: [webhook chat] method is GET, POST, PUT or PATCH, not "
      "\"DELETE\"",
      "line 16: [webhook chat] header is \"Name: value\", e.g. "
      "Authorization: Bearer ...",
      "line 17: unknown setting \"colour\" in a [webhook] section; it takes "
      "url, method, header and body",
      "line 18: [webhook CHAT] comes twice; the first counts",
      "line 20: [covers] enabled is yes or no, not \"maybe\"",
      "line 21: [covers] musicbrainz is an http:// or https:// address, not "
      "\"mb.example\""};
  EXPECT_EQ(read.problems, expected);
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
  for (const std::string& problem : read.problems) {
    EXPECT_EQ(problem.find("token-"), std::string::npos) << problem;
  }

  // Without a way to decrypt, a sealed secret is a problem and its target
  // is off; so is one that cannot be decrypted.
  const std::string sealed =
      "[webhook a]\nurl = " + *FakeSeal("http://h") +
      "\n[icecast]\nurl = http://i\npassword = " + *FakeSeal("pw") + "\n";
  const SettingsRead without = Read(sealed, {}, nullptr);
  EXPECT_EQ(without.problems.size(), 2u);
  EXPECT_EQ(without.problems[0].rfind(
                "line 2: [webhook a] url cannot be decrypted", 0),
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
  const std::optional<std::string> sealed = SealSecrets(text, FakeSeal);
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
  EXPECT_FALSE(SealSecrets(*sealed, FakeSeal));
  EXPECT_FALSE(SealSecrets("[covers]\ncontact = x\n", FakeSeal));
  EXPECT_FALSE(SealSecrets(
      text, [](std::string_view) -> std::optional<std::string> { return {}; }));
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
