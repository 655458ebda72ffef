#include "receiver/web/host_check.h"

#include <gtest/gtest.h>

namespace receiver {
namespace {

TEST(HostNameTest, PortAsideLowerCaseNoFinalDot) {
  EXPECT_EQ(HostName("127.0.0.1"), "127.0.0.1");
  EXPECT_EQ(HostName("LocalHost:8080"), "localhost");
  EXPECT_EQ(HostName("Studio-PC.Example.:80"), "studio-pc.example");
  EXPECT_EQ(HostName("[::1]:8080"), "[::1]");
  EXPECT_EQ(HostName(" [FE80::1] "), "[fe80::1]");
  EXPECT_EQ(HostName("host:"), "host");
  for (const char* broken : {"", ":80", "host:8o", "a:b:c", "[::1", "[::1]x",
                             "[evil.example]", "evil.example/x", "user@host",
                             ".", ".hidden", "a..b", "a..", "caf\xC3\xA9"}) {
    EXPECT_EQ(HostName(broken), "") << broken;
  }
}

TEST(HostNameTest, IpLiterals) {
  for (const char* literal :
       {"127.0.0.1", "0.0.0.0", "255.255.255.255", "192.168.1.20", "[::1]",
        "[::]", "[2001:db8::8a2e:370:7334]", "[1:2:3:4:5:6:7:8]",
        "[::ffff:127.0.0.1]", "[1::]", "[a:b:c:d:e:f::1]"}) {
    EXPECT_TRUE(IsIpLiteral(literal)) << literal;
  }
  for (const char* name :
       {"localhost", "127.0.0.1.evil.example", "127.0.0", "127.0.0.256",
        "1.2.3.4.5", "1..2.3", "0x7f.0.0.1", "2130706433", "::1", "[1:2]",
        "[1:2:3:4:5:6:7:8:9]", "[1::2::3]", "[12345::]", "[::g]",
        "[1:2:3:4:5:6:7::8]", "[::1.2.3]", "[]"}) {
    EXPECT_FALSE(IsIpLiteral(name)) << name;
  }
}

TEST(HostNameTest, Ipv6WithAnIpv4TailCountsItAsTwoGroups) {
  for (const char* literal :
       {"[::ffff:127.0.0.1]", "[64:ff9b::192.0.2.1]", "[1:2:3:4:5:6:1.2.3.4]",
        "[::1:2:3:4:5:1.2.3.4]"}) {
    EXPECT_TRUE(IsIpLiteral(literal)) << literal;
  }
  for (const char* name : {"[::1.2.3]", "[::256.1.1.1]", "[::1.2.3.4.5]",
                           "[::01.2.3.4x]", "[1.2.3.4::]", "[::1.2.3.4:5]",
                           "[1:2:3:4:5:6:7:8:9]", "[1:2:3:4:5:6:7:1.2.3.4]",
                           "[1:2:3:4:5:6::1.2.3.4]", "[1:2:3:4:5:1.2.3.4]"}) {
    EXPECT_FALSE(IsIpLiteral(name)) << name;
  }
}

TEST(HostCheckTest, ThePcsFullyQualifiedName) {
  const HostCheck check({"STUDIO", "studio.corp.example"});
  for (const char* host : {"studio.corp.example", "Studio.Corp.Example.",
                           "studio.corp.example:8080", "studio"}) {
    EXPECT_TRUE(check.Allows(std::string_view(host), false)) << host;
  }
  for (const char* host :
       {"corp.example", "studio.corp.example.evil", "studio.corp",
        "evil.studio.corp.example", "studio.corp.example.:x"}) {
    EXPECT_FALSE(check.Allows(std::string_view(host), true)) << host;
  }
}

TEST(HostCheckTest, AddressesLocalhostOwnAndAllowedNames) {
  const HostCheck check(
      {"STUDIO-PC", "studio-pc.fritz.box", "overlay.example"});
  for (const char* host :
       {"127.0.0.1", "127.0.0.1:8080", "192.168.1.20", "[::1]:80", "localhost",
        "LOCALHOST:80", "localhost.", "studio-pc", "Studio-PC.fritz.box.",
        "overlay.example:8080"}) {
    EXPECT_TRUE(check.Allows(std::string_view(host), false)) << host;
  }
  for (const char* host :
       {"attacker.example", "127.0.0.1.nip.io", "localhost.evil.example",
        "sub.localhost", "studio-pc.evil.example", "overlay.example.evil", "",
        " ", "[localhost]", "127.0.0.1 evil"}) {
    EXPECT_FALSE(check.Allows(std::string_view(host), true)) << host;
  }
}

TEST(HostCheckTest, NoHostFromThisPcOnly) {
  const HostCheck check({});
  EXPECT_TRUE(check.Allows(std::nullopt, true));
  EXPECT_FALSE(check.Allows(std::nullopt, false));
  EXPECT_FALSE(check.Allows(std::string_view(""), true));
}

TEST(HostCheckTest, AllowHostNamesAndPrinting) {
  EXPECT_TRUE(IsPlainHostName("studio-pc.example"));
  EXPECT_TRUE(IsPlainHostName("DESKTOP_1"));
  for (const char* name :
       {"", "host:80", "http://host", ".x", "a..b", "a b", "*.example"}) {
    EXPECT_FALSE(IsPlainHostName(name)) << name;
  }
  EXPECT_EQ(PrintableHost("a\x01\xC3\xA9z"), "a???z");
  EXPECT_EQ(PrintableHost(std::string(120, 'x')),
            std::string(100, 'x') + "...");
}

}  // namespace
}  // namespace receiver
