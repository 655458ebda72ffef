#include "receiver/settings/settings_form.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "receiver/settings/ini_document.h"
#include "receiver/settings/settings_file.h"
#include "receiver/settings/settings_schema.h"

namespace receiver {
namespace {

using Json = nlohmann::json;

TEST(IniDocumentTest, AnEditKeepsEveryOtherByte) {
  const std::string text =
      "\xEF\xBB\xBF; comment\r\n"
      "\r\n"
      "[History]\r\n"
      "  lines = 10   ; newest first\r\n"
      "colour = red\r\n"
      "\r\n"
      "[idle]\r\n"
      ";minutes = 0   ; a commented default\r\n"
      "\r\n"
      "odd line\r\n"
      "[file A.txt]\r\n"
      "template = {title}\r\n"
      "; about B\r\n"
      "[file b.txt]\r\n"
      "template = x\r\n"
      "[chat]\r\n"
      "idle=\"q\";c";
  IniDocument document(text, SectionCountsOnce);
  EXPECT_EQ(document.Text(), text);
  EXPECT_TRUE(document.Set("history", "lines", "20"));
  EXPECT_TRUE(document.Set("history", "log", "yes"));
  EXPECT_TRUE(document.Set("idle", "minutes", "5"));
  EXPECT_TRUE(document.Set("chat", "idle", "r"));
  EXPECT_TRUE(document.Set("covers", "enabled", "yes"));
  EXPECT_TRUE(document.SetAll("webhook hook", "header", {"A: 1", "B: 2"}));
  document.RemoveSection("file a.txt");
  document.Remove("history", "colour");
  EXPECT_EQ(document.Text(),
            "\xEF\xBB\xBF; comment\r\n"
            "\r\n"
            "[History]\r\n"
            "  lines = 20   ; newest first\r\n"
            "log = yes\r\n"
            "\r\n"
            "[idle]\r\n"
            ";minutes = 0   ; a commented default\r\n"
            "minutes = 5\r\n"
            "\r\n"
            "odd line\r\n"
            "; about B\r\n"
            "[file b.txt]\r\n"
            "template = x\r\n"
            "[chat]\r\n"
            "idle=r ;c\r\n"
            "\r\n"
            "[covers]\r\n"
            "enabled = yes\r\n"
            "\r\n"
            "[webhook hook]\r\n"
            "header = A: 1\r\n"
            "header = B: 2");
  // LF stays LF; a section of the name again is not added twice.
  IniDocument plain("[idle]\ntext = a\n[idle]\n");
  plain.AddSection("IDLE");
  EXPECT_TRUE(plain.Set("idle", "text", "b"));
  EXPECT_TRUE(plain.Set("history", "lines", "1"));
  EXPECT_EQ(plain.Text(), "[idle]\ntext = b\n[idle]\n\n[history]\nlines = 1\n");
  // Only the first [file NAME] counts, as for the reader.
  IniDocument twice("[file a]\n[file A]\ntemplate = x\n", SectionCountsOnce);
  EXPECT_TRUE(twice.Set("file a", "template", "y"));
  EXPECT_EQ(twice.Text(), "[file a]\ntemplate = y\n[file A]\ntemplate = x\n");
  twice.RemoveSection("file  A");
  EXPECT_EQ(twice.Text(), "");
}

TEST(IniDocumentTest, WhatItWritesReadsBackAsGiven) {
  const std::string base = "[idle]\ntext = old ; a comment\n";
  for (const std::string value :
       {"plain", "", " lead", "trail\t", "a ; b", ";start", "a;b", "# hash",
        "say \"hi\" now", "\"", "=", "[x]", "x\"", "caf\xC3\xA9"}) {
    IniDocument document(base);
    ASSERT_TRUE(document.Set("idle", "text", value)) << value;
    const std::string text = document.Text();
    EXPECT_EQ(ReadSettings(text, nullptr).settings.idle_text, value) << text;
    EXPECT_NE(text.find("; a comment\n"), std::string::npos) << text;
    EXPECT_TRUE(ReadSettings(text, nullptr).problems.empty()) << text;
  }
  // What no writing reads back as is refused, and nothing changes.
  for (const std::string value : {"two\nlines", "cr\r", "\"quoted\"", " \"lead",
                                  "\"a\" ;b", "a \" ;b", "\"x\" "}) {
    IniDocument document(base);
    EXPECT_FALSE(document.Set("idle", "text", value)) << value;
    EXPECT_FALSE(document.SetAll("webhook a", "header", {"A: b", value}));
    EXPECT_EQ(document.Text(), base);
  }
}

// The Windows user's sealing stands in as "dpapi:" + the text reversed.
std::optional<std::string> FakeSeal(std::string_view clear) {
  return "dpapi:" + std::string(clear.rbegin(), clear.rend());
}
Unsealed FakeUnseal(std::string_view sealed) {
  sealed.remove_prefix(6);
  return {std::string(sealed.rbegin(), sealed.rend()),
          Unsealed::Failure::kNone};
}

SettingsDeskContext Context() {
  SettingsDeskContext context;
  context.unseal = FakeUnseal;
  context.seal = FakeSeal;
  context.song = Song{"Björk", "Post", "Army of Me", ""};
  return context;
}

Json Model(std::string_view bytes) {
  return Json::parse(SettingsModelJson(bytes, Context()));
}

SettingsAnswer Edit(std::string_view bytes, const Json& changes, bool save) {
  const Json call = {{"version", SettingsVersion(bytes)}, {"changes", changes}};
  return SettingsEdit(bytes, call.dump(), save, Context());
}

TEST(SettingsFormTest, TheModelHoldsNoSecret) {
  const std::string file =
      "[icecast]\nurl = http://ice\npassword = clear-pw\n"
      "[listenbrainz]\ntoken = " +
      *FakeSeal("sealed-token") +
      "\n"
      "[webhook a]\nurl = https://h/clear-url\nheader = X: clear-head\n"
      "[shoutcast]\npassword =\n[sound]\nkey = v\n"
      "[history]\nlines = 7\ncolour = red\n";
  const std::string model = SettingsModelJson(file, Context());
  for (const char* secret : {"clear-pw", "nekot-delaes", "sealed-token",
                             "clear-url", "clear-head", "dpapi:", "red"}) {
    EXPECT_EQ(model.find(secret), std::string::npos) << secret << model;
  }
  const Json json = Json::parse(model);
  const Json& sections = json["sections"];
  ASSERT_EQ(sections.size(), 5u);
  EXPECT_EQ(sections[0]["values"]["password"], Json({{"set", true}}));
  EXPECT_EQ(sections[0]["values"]["url"], "http://ice");
  EXPECT_EQ(sections[1]["values"]["token"], Json({{"set", true}}));
  EXPECT_EQ(sections[2]["values"]["header"], Json({{"set", true}}));
  EXPECT_EQ(sections[3]["values"]["password"], Json({{"set", false}}));
  EXPECT_EQ(sections[4]["values"]["lines"], "7");
  EXPECT_EQ(sections[4]["unknown"], Json({"colour"}));
  EXPECT_EQ(json["others"], Json({"[sound]"}));
  // The table's secrets are the reader's.
  for (const SchemaSection& section : SettingsSchema()) {
    const std::string name =
        std::string(section.name) + (section.named ? " x" : "");
    for (const SchemaField& field : section.fields) {
      EXPECT_EQ(field.secret, IsSecretKey(name, field.key)) << field.key;
    }
  }
}

TEST(SettingsFormTest, ProblemsGoBesideTheirFieldsAndNewOnesStopASave) {
  const std::string file = "[history]\nlines = lots\n[file a.txt]\n";
  const Json model = Model(file);
  ASSERT_EQ(model["problems"].size(), 1u);
  EXPECT_EQ(model["problems"][0]["id"], "history");
  EXPECT_EQ(model["problems"][0]["key"], "lines");
  EXPECT_EQ(model["problems"][0]["message"],
            "line 2, [history]: lines is a number from 0 to 500, not \"lots\"");
  EXPECT_EQ(model["previews"]["file a.txt"], "Björk - Army of Me");
  // A problem that was there does not stop a save; a new one does.
  const Json good = {
      {{"section", "file a.txt"}, {"key", "template"}, {"value", "{TITLE}"}}};
  const SettingsAnswer check = Edit(file, good, false);
  EXPECT_EQ(Json::parse(check.json)["previews"]["file a.txt"], "ARMY OF ME");
  const SettingsAnswer saved = Edit(file, good, true);
  ASSERT_EQ(saved.status, 200) << saved.json;
  EXPECT_EQ(saved.write,
            "[history]\nlines = lots\n[file a.txt]\ntemplate = {TITLE}\n");
  const Json bad = {
      {{"section", "idle"}, {"key", "minutes"}, {"value", "x"}},
      {{"section", "file b.txt"}, {"add", true}},
      {{"section", "file b.txt"}, {"key", "template"}, {"value", "{titel}"}}};
  const SettingsAnswer refused = Edit(file, bad, true);
  EXPECT_EQ(refused.status, 422);
  EXPECT_FALSE(refused.write);
  const Json problems = Json::parse(refused.json)["problems"];
  ASSERT_EQ(problems.size(), 3u);
  EXPECT_EQ(problems[0]["blocks"], false);
  EXPECT_EQ(problems[1]["id"], "idle");
  EXPECT_EQ(problems[1]["key"], "minutes");
  EXPECT_EQ(problems[1]["blocks"], true);
  EXPECT_EQ(problems[2]["id"], "file b.txt");
  EXPECT_EQ(problems[2]["key"], "template");
  // A value no line can hold stops it too, named by its field.
  const SettingsAnswer unwritable = Edit(
      file, {{{"section", "chat"}, {"key", "idle"}, {"value", "a\nb"}}}, true);
  EXPECT_EQ(unwritable.status, 422);
  EXPECT_EQ(Json::parse(unwritable.json)["problems"][0]["key"], "idle");
  // Keys and sections the table does not know are no change of the page's.
  EXPECT_EQ(
      Edit(file, {{{"section", "history"}, {"key", "colour"}, {"value", "1"}}},
           true)
          .status,
      400);
  EXPECT_EQ(Edit(file, {{{"section", "sound"}, {"add", true}}}, true).status,
            400);
  EXPECT_EQ(
      Edit(file, {{{"section", "history"}, {"remove", "yes"}}}, true).status,
      200);
  EXPECT_EQ(
      Edit(file, {{{"section", "idle"}, {"key", "text"}, {"value", 1}}}, true)
          .status,
      400);
}

TEST(SettingsFormTest, ASecretIsSealedAndAnEmptyOneKept) {
  const std::string file =
      "[icecast]\nurl = http://i\npassword = " + *FakeSeal("old") +
      "  ; kept\n";
  const SettingsAnswer kept = Edit(
      file,
      {{{"section", "icecast"}, {"key", "password"}, {"value", ""}},
       {{"section", "webhook new"}, {"key", "url"}, {"value", "https://h/t"}},
       {{"section", "webhook new"}, {"key", "header"}, {"values", {"A: s"}}}},
      true);
  ASSERT_EQ(kept.status, 200) << kept.json;
  EXPECT_EQ(*kept.write,
            file + "\n[webhook new]\nurl = " + *FakeSeal("https://h/t") +
                "\nheader = " + *FakeSeal("A: s") + "\n");
  EXPECT_EQ(kept.json.find("h/t"), std::string::npos);
  const SettingsAnswer changed = Edit(
      file, {{{"section", "icecast"}, {"key", "password"}, {"value", "new"}}},
      true);
  EXPECT_EQ(*changed.write, "[icecast]\nurl = http://i\npassword = " +
                                *FakeSeal("new") + "  ; kept\n");
  EXPECT_EQ(Json::parse(changed.json)["version"],
            SettingsVersion(*changed.write));
}

TEST(SettingsFormTest, AChangeOnAnOlderFileIsRefused) {
  const std::string read = "[history]\nlines = 1\n";
  const Json call = {
      {"version", SettingsVersion(read)},
      {"changes",
       {{{"section", "history"}, {"key", "lines"}, {"value", "2"}}}}};
  for (const bool save : {false, true}) {
    const SettingsAnswer answer =
        SettingsEdit("[history]\nlines = 3\n", call.dump(), save, Context());
    EXPECT_EQ(answer.status, 409);
    EXPECT_EQ(Json::parse(answer.json)["error"], kSettingsConflict);
    EXPECT_FALSE(answer.write);
  }
  EXPECT_NE(SettingsVersion("ab"), SettingsVersion("ba"));
}

}  // namespace
}  // namespace receiver
