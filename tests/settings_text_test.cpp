#include "settings/settings_text.h"

#include <gtest/gtest.h>

namespace {

using settings::FromDiskText;
using settings::JoinSettingsText;
using settings::SplitSettingsText;
using settings::ToDiskText;

void ExpectSplit(const std::string& text, const std::string& host,
                 const std::string& port, const std::string& path) {
  const settings::SettingsValues values = SplitSettingsText(text);
  EXPECT_EQ(values.host, host) << text;
  EXPECT_EQ(values.port, port) << text;
  EXPECT_EQ(values.request_path, path) << text;
}

TEST(SettingsText, SplitEveryShape) {
  ExpectSplit("myhost\n81\n/np?a=%s&b=%s&t=%s", "myhost", "81",
              "/np?a=%s&b=%s&t=%s");
  ExpectSplit("h\n81\n/p\n", "h", "81", "/p\n");
  ExpectSplit("h\n81\nline3\nline4", "h", "81", "line3\nline4");
  ExpectSplit("myhost\n81", "myhost", "81", "myhost\n81");
  ExpectSplit("myhost\n", "myhost", "", "myhost\n");
  ExpectSplit("myhost", "myhost", "myhost", "myhost");
  ExpectSplit("", "", "", "");
  ExpectSplit("\n\n", "", "", "");
  ExpectSplit("\n", "", "", "\n");
}

TEST(SettingsText, TextModeReading) {
  EXPECT_EQ(FromDiskText("a\r\nb"), "a\nb");
  EXPECT_EQ(FromDiskText("a\rb"), "a\rb");
  EXPECT_EQ(FromDiskText("a\r"), "a\r");
  EXPECT_EQ(FromDiskText("a\r\r\nb"), "a\r\nb");
  EXPECT_EQ(FromDiskText("a\nb\x1A\nz"), "a\nb");
  EXPECT_EQ(FromDiskText("\x1A"), "");
  EXPECT_EQ(FromDiskText(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(SettingsText, TextModeWriting) {
  EXPECT_EQ(ToDiskText(JoinSettingsText("h", "81", "/p")), "h\r\n81\r\n/p");
  EXPECT_EQ(ToDiskText("a\r\nb"), "a\r\r\nb");
  EXPECT_EQ(ToDiskText("\n"), "\r\n");
}

TEST(SettingsText, WhatIsWrittenReadsBack) {
  const std::string paths[] = {"/p", "", "/two\nlines", "/cr\rinside",
                               "/end\n"};
  for (const std::string& path : paths) {
    const settings::SettingsValues values = SplitSettingsText(
        FromDiskText(ToDiskText(JoinSettingsText("host", "8080", path))));
    EXPECT_EQ(values.host, "host");
    EXPECT_EQ(values.port, "8080");
    EXPECT_EQ(values.request_path, path);
  }
}

}  // namespace
