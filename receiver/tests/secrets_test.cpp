#include "receiver/system/secrets.h"

#include <gtest/gtest.h>

#include <string>

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
  EXPECT_EQ(UnsealSecret(*sealed), clear);

  const std::optional<std::string> empty = SealSecret("");
  ASSERT_TRUE(empty.has_value());
  EXPECT_EQ(UnsealSecret(*empty), "");
}

TEST(Secrets, WhatIsNotAnIntactSealedValueIsRefused) {
  const std::optional<std::string> sealed = SealSecret("hunter2");
  ASSERT_TRUE(sealed.has_value());
  std::string damaged = *sealed;
  // A byte of the encrypted data, near the end (Wine, unlike Windows, checks
  // only that part and its signature), still valid base64.
  char& byte = damaged[damaged.size() - 20];
  byte = byte == 'A' ? 'B' : 'A';
  EXPECT_EQ(UnsealSecret(damaged), std::nullopt);
  EXPECT_EQ(UnsealSecret(sealed->substr(0, sealed->size() / 2)), std::nullopt);
  EXPECT_EQ(UnsealSecret("dpapi:"), std::nullopt);
  EXPECT_EQ(UnsealSecret("dpapi:not*base64!"), std::nullopt);
  EXPECT_EQ(UnsealSecret("hunter2"), std::nullopt) << "clear text";
  EXPECT_EQ(UnsealSecret(sealed->substr(6)), std::nullopt) << "no prefix";
}

}  // namespace
}  // namespace receiver
