#include "receiver/services/image_type.h"

#include <gtest/gtest.h>

#include <string>

namespace receiver {
namespace {

TEST(ImageTypeTest, FromTheFirstBytes) {
  using namespace std::string_literals;
  EXPECT_EQ(ImageType("\xFF\xD8\xFF\xE0\x00\x10JFIF"s), "image/jpeg");
  EXPECT_EQ(ImageType("\x89PNG\r\n\x1A\n\x00\x00\x00\rIHDR"s), "image/png");
  EXPECT_EQ(ImageType("GIF87a\x01\x00"s), "image/gif");
  EXPECT_EQ(ImageType("GIF89a"s), "image/gif");
  EXPECT_EQ(ImageType("RIFF\x24\x00\x00\x00WEBPVP8 "s), "image/webp");
  for (const std::string& bytes :
       {""s, "\xFF\xD8"s, "\x89PNG\r\n\x1A"s, "GIF88a"s,
        "RIFF\x24\x00\x00\x00WAVE"s, "RIFF\x24\x00\x00\x00WEB"s, "<html>"s,
        "\x00\xFF\xD8\xFF"s}) {
    EXPECT_EQ(ImageType(bytes), "") << bytes;
  }
}

}  // namespace
}  // namespace receiver
