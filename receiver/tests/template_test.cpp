#include "receiver/songs/template.h"

#include <gtest/gtest.h>

#include "receiver/songs/file_encoding.h"
#include "receiver/songs/upper_case.h"

namespace receiver {
namespace {

std::string Expand(std::string_view text, const Song& song,
                   NewLine new_line = NewLine::kCrLf) {
  const ParsedTemplate parsed = ParseTemplate(text);
  EXPECT_TRUE(parsed.parts) << text << ": " << parsed.error;
  return parsed.parts ? ExpandTemplate(*parsed.parts, song, new_line) : "";
}

const Song kBjork{"Bj\xC3\xB6rk", "Post", "Army of Me", ""};
const Song kNoArtist{"", "", "Title", ""};

TEST(TemplateTest, FieldsUpperCaseAndText) {
  EXPECT_EQ(Expand("{artist} - {title} ({album})", kBjork),
            "Bj\xC3\xB6rk - Army of Me (Post)");
  EXPECT_EQ(Expand("{ARTIST}", kBjork), "BJ\xC3\x96RK");
  EXPECT_EQ(Expand("{TITLE:6}", kBjork), "ARMY \xE2\x80\xA6");
}

TEST(TemplateTest, CutsByCharactersWithAnEllipsis) {
  EXPECT_EQ(Expand("{title:5}", kBjork), "Army\xE2\x80\xA6");
  EXPECT_EQ(Expand("{title:10}", kBjork), "Army of Me");
  // Three CJK characters of three bytes each: cut to two, never mid-way.
  const Song cjk{"", "", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E", ""};
  EXPECT_EQ(Expand("{title:2}", cjk), "\xE6\x97\xA5\xE2\x80\xA6");
  EXPECT_EQ(Expand("{title:3}", cjk), cjk.title);
  // "Cafe" + U+0301: the e goes with its accent rather than lose it.
  const Song combining{"", "", "Cafe\xCC\x81s", ""};
  EXPECT_EQ(Expand("{title:5}", combining), "Caf\xE2\x80\xA6");
}

TEST(TemplateTest, SeparatorsVanishWithTheirField) {
  EXPECT_EQ(Expand("{artist| - }{title}", kBjork), "Bj\xC3\xB6rk - Army of Me");
  EXPECT_EQ(Expand("{artist| - }{title}", kNoArtist), "Title");
  EXPECT_EQ(Expand("{title}{album| - }", kBjork), "Army of Me - Post");
  EXPECT_EQ(Expand("{title}{album| - }", kNoArtist), "Title");
  EXPECT_EQ(Expand("{artist|: }{title}", kBjork), "Bj\xC3\xB6rk: Army of Me");
  // A ticker: each separator once, whichever fields are there.
  const std::string ticker =
      "{artist| \xE2\x80\xA2 }{album| \xE2\x80\xA2 }{title}";
  EXPECT_EQ(Expand(ticker, kBjork),
            "Bj\xC3\xB6rk \xE2\x80\xA2 Post \xE2\x80\xA2 Army of Me");
  EXPECT_EQ(Expand(ticker, {"", "Post", "T", ""}), "Post \xE2\x80\xA2 T");
  EXPECT_EQ(Expand(ticker, {"A", "", "", ""}), "A");
}

TEST(TemplateTest, NewLines) {
  EXPECT_EQ(Expand("{title}\\n{artist}", kBjork), "Army of Me\r\nBj\xC3\xB6rk");
  EXPECT_EQ(Expand("{title}\\n{artist}", kBjork, NewLine::kSpace),
            "Army of Me Bj\xC3\xB6rk");
  // Each line has its own separators.
  EXPECT_EQ(Expand("{title}\\n{album| - }", kBjork), "Army of Me\r\nPost");
}

TEST(TemplateTest, ErrorsNameTheProblem) {
  for (const char* bad : {"{artist", "{title}}", "artist}", "{year}", "{Title}",
                          "{title:0}", "{title:x}", "{{title}}"}) {
    const ParsedTemplate parsed = ParseTemplate(bad);
    EXPECT_FALSE(parsed.parts) << bad;
    EXPECT_FALSE(parsed.error.empty()) << bad;
  }
  EXPECT_NE(ParseTemplate("{year}").error.find("unknown field {year}"),
            std::string::npos);
}

TEST(UpperCaseTest, Scripts) {
  EXPECT_EQ(UpperCaseText("caf\xC3\xA9 \xC3\xBF \xC3\x9F"),
            "CAF\xC3\x89 \xC5\xB8 \xC3\x9F");  // ß has no one-letter form
  EXPECT_EQ(UpperCaseText("\xC5\x82\xC3\xB3"
                          "d\xC5\xBA"),  // łódź
            "\xC5\x81\xC3\x93"
            "D\xC5\xB9");
  EXPECT_EQ(UpperCaseText("\xCE\xBB\xCF\x8C\xCE\xB3\xCE\xBF\xCF\x82"),  // λόγος
            "\xCE\x9B\xCE\x8C\xCE\x93\xCE\x9F\xCE\xA3");
  EXPECT_EQ(
      UpperCaseText("\xD0\xBA\xD0\xB8\xD0\xBD\xD0\xBE \xD1\x91"),  // кино ё
      "\xD0\x9A\xD0\x98\xD0\x9D\xD0\x9E \xD0\x81");
  EXPECT_EQ(UpperCaseText("\xE6\x97\xA5\xE6\x9C\xAC"),
            "\xE6\x97\xA5\xE6\x9C\xAC");
  // Latin-1 from µ on: ÷ and × are no letters, ß and ÿ go their own ways.
  EXPECT_EQ(UpperCaseText("µ ×ß àáâãäåæçèéêëìíîïðñòóôõö÷øùúûüýþÿ ÀÉÞ"),
            "Μ ×ß ÀÁÂÃÄÅÆÇÈÉÊËÌÍÎÏÐÑÒÓÔÕÖ÷ØÙÚÛÜÝÞŸ ÀÉÞ");
}

TEST(FileEncodingTest, ExactBytes) {
  const std::string text = "Caf\xC3\xA9 \xE6\x97\xA5\xF0\x9F\x8E\xB5";
  EXPECT_EQ(EncodeFile(text, FileEncoding::kUtf8), text);
  EXPECT_EQ(EncodeFile(text, FileEncoding::kUtf8Bom), "\xEF\xBB\xBF" + text);
  EXPECT_EQ(EncodeFile(text, FileEncoding::kUtf16Le),
            std::string("\xFF\xFE"
                        "C\0a\0f\0\xE9\0 \0\xE5\x65\x3C\xD8\xB5\xDF",
                        18));
  EXPECT_EQ(ParseFileEncoding("UTF-8-BOM"), FileEncoding::kUtf8Bom);
  EXPECT_FALSE(ParseFileEncoding("latin1"));
}

}  // namespace
}  // namespace receiver
