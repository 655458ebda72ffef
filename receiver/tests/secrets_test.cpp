#include "receiver/settings/secrets.h"

#include <gtest/gtest.h>

#include <string>

#include "receiver/settings/settings_load.h"
#include "tests/support/test_files.h"

namespace receiver {
namespace {

TEST(Secrets, SealedTextComesBackAndShowsNothingOfIt) {
  const std::string clear =
      std::string("Token 7f3c\xc3\xa9-secret") + '\0' + "after a NUL";
  const std::optional<std::string> sealed = SealSecret(clear);
  ASSERT_TRUE(sealed.has_value());
  EXPECT_EQ(sealed->rfind("dpapi:", 0), 0u) << *sealed;
  EXPECT_EQ(sealed->find("secret"), std::string::npos);
  EXPECT_EQ(sealed->find_first_of("\r\n "), std::string::npos)
      << "one line in the settings file";
  EXPECT_EQ(UnsealSecret(*sealed).clear, clear);

  const std::optional<std::string> empty = SealSecret("");
  ASSERT_TRUE(empty.has_value());
  EXPECT_EQ(UnsealSecret(*empty).clear, "");
}

TEST(Secrets, WhatIsNotAnIntactSealedValueIsDamaged) {
  const std::optional<std::string> sealed = SealSecret("hunter2");
  ASSERT_TRUE(sealed.has_value());
  std::string changed = *sealed;
  // A byte of the encrypted data, near the end (Wine, unlike Windows, checks
  // only that part and its signature), still valid base64.
  char& byte = changed[changed.size() - 20];
  byte = byte == 'A' ? 'B' : 'A';
  // A save caught half-way cuts the value.
  for (const std::string& damaged :
       {changed, sealed->substr(0, sealed->size() / 2), std::string("dpapi:"),
        std::string("dpapi:not*base64!"), std::string("dpapi:aGVsbG8="),
        std::string("hunter2"), sealed->substr(6)}) {
    const Unsealed back = UnsealSecret(damaged);
    EXPECT_FALSE(back.clear) << damaged;
    EXPECT_EQ(back.failure, Unsealed::Failure::kDamaged) << damaged;
  }
}

TEST(Secrets, ASaveAfterTheReadIsNotWrittenOver) {
  const testing_support::TempFolder folder;
  const std::string path = folder.File("trackwire_receiver.ini");
  const std::wstring wide(path.begin(), path.end());
  const std::string read = "[icecast]\r\npassword = first\r\n";
  const std::string newer = "[icecast]\r\npassword = second\r\n";
  ASSERT_TRUE(testing_support::WriteBytes(path, newer));
  EXPECT_EQ(SealSettingsFile(wide, read), "");
  std::string now;
  ASSERT_TRUE(testing_support::ReadBytes(path, &now));
  EXPECT_EQ(now, newer);
  // The bytes still on disk are sealed.
  EXPECT_EQ(SealSettingsFile(wide, newer), "");
  ASSERT_TRUE(testing_support::ReadBytes(path, &now));
  EXPECT_EQ(now.rfind("[icecast]\r\npassword = dpapi:", 0), 0u) << now;
}

TEST(Secrets, AUnicodeFileSealedStaysReadable) {
  const testing_support::TempFolder folder;
  const std::string path = folder.File("trackwire_receiver.ini");
  const std::wstring wide(path.begin(), path.end());
  std::string utf16 = "\xFF\xFE";
  for (const char16_t c : std::u16string(
           u"[icecast]\r\nurl = http://h\r\npassword = caf\u00E9\r\n")) {
    utf16 += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
  }
  ASSERT_TRUE(testing_support::WriteBytes(path, utf16));
  EXPECT_EQ(SealSettingsFile(wide, utf16), "");
  std::string now;
  ASSERT_TRUE(testing_support::ReadBytes(path, &now));
  // Written back as UTF-8 with a BOM, which Notepad reads as it wrote it.
  EXPECT_EQ(now.rfind("\xEF\xBB\xBF[icecast]\r\nurl = http://h\r\n"
                      "password = dpapi:",
                      0),
            0u)
      << now;
  const SettingsRead back = ReadSettingsBytes(now, {});
  EXPECT_TRUE(back.problems.empty());
  ASSERT_TRUE(back.settings.targets.icecast);
  EXPECT_EQ(back.settings.targets.icecast->password, "caf\xC3\xA9");
}

}  // namespace
}  // namespace receiver
