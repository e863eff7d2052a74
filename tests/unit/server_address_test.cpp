#include "check/server_address.h"

#include <gtest/gtest.h>

namespace {

constexpr ServerSecurity kPlain = ServerSecurity::kPlain;
constexpr ServerSecurity kTls = ServerSecurity::kTls;
constexpr ServerSecurity kStartTls = ServerSecurity::kStartTls;
constexpr ServerProtocol kImap = ServerProtocol::kImap;

TEST(ServerAddress, EveryFormOfTheServerText) {
  const struct {
    const char* text;
    const char* host;
    uint16_t port;
    ServerSecurity security;
    ServerProtocol protocol = ServerProtocol::kPop3;
  } cases[] = {
      {"mail.example.com", "mail.example.com", 110, kPlain},
      {"  mail.example.com\t", "mail.example.com", 110, kPlain},
      {"127.0.0.1", "127.0.0.1", 110, kPlain},
      {"mail.example.com:2110", "mail.example.com", 2110, kPlain},
      {"mail.example.com:00995", "mail.example.com", 995, kPlain},
      {"mail.example.com:65535", "mail.example.com", 65535, kPlain},
      {"pop3://mail.example.com", "mail.example.com", 110, kPlain},
      {"POP3://mail.example.com:1", "mail.example.com", 1, kPlain},
      {"pop3s://mail.example.com", "mail.example.com", 995, kTls},
      {"PoP3S://mail.example.com:2995/", "mail.example.com", 2995, kTls},
      {"pop3+starttls://mail.example.com", "mail.example.com", 110, kStartTls},
      {"POP3+STARTTLS://mail.example.com:8110", "mail.example.com", 8110, kStartTls},
      {"[2001:db8::1]:995", "2001:db8::1", 995, kPlain},
      {"[::1]", "::1", 110, kPlain},
      {"pop3s://[::1]", "::1", 995, kTls},
      {"pop3+starttls://[fe80::1]:110", "fe80::1", 110, kStartTls},
      {"pop3s://mail.example.com.", "mail.example.com", 995, kTls},
      {"mail.example.com.:2110", "mail.example.com", 2110, kPlain},
      {"255.0.10.1", "255.0.10.1", 110, kPlain},
      {"1.2.3.example", "1.2.3.example", 110, kPlain},
      {"2001:db8::1", "2001:db8::1", 110, kPlain},
      {"::ffff:127.0.0.1", "::ffff:127.0.0.1", 110, kPlain},
      {"imap://mail.example.com", "mail.example.com", 143, kPlain, kImap},
      {" IMAP://mail.example.com:1143/ ", "mail.example.com", 1143, kPlain, kImap},
      {"imaps://mail.example.com", "mail.example.com", 993, kTls, kImap},
      {"ImapS://[::1]:1993", "::1", 1993, kTls, kImap},
      {"imap+starttls://127.0.0.1", "127.0.0.1", 143, kStartTls, kImap},
      {"IMAP+STARTTLS://[2001:db8::1]:1143", "2001:db8::1", 1143, kStartTls, kImap},
  };
  for (const auto& c : cases) {
    ServerAddress address;
    ASSERT_TRUE(ParseServerAddress(c.text, address)) << c.text;
    EXPECT_EQ(c.host, address.host) << c.text;
    EXPECT_EQ(c.port, address.port) << c.text;
    EXPECT_EQ(c.security, address.security) << c.text;
    EXPECT_EQ(c.protocol, address.protocol) << c.text;
  }
}

TEST(ServerAddress, TextThatNamesNoServerIsRefused) {
  for (const char* text : {
           "", "   ", "imap4://mail.example.com", "pop3s:/mail.example.com", "imaps://",
           "imap+tls://mail.example.com", "imaps://2001:db8::1", "://mail.example.com",
           "pop3s://", "pop3s://:995", ":110", "mail.example.com:", "mail.example.com:0",
           "mail.example.com:65536", "mail.example.com:99999999999999999999", "mail.example.com:-1",
           "mail.example.com:+5", "mail.example.com:1 1", "mail.example.com:port",
           "mail example.com", "user@mail.example.com", "mail.example.com/inbox",
           "pop3s://mail.example.com//", "pop3s://2001:db8::1", "[2001:db8::1", "[]:110",
           "[mail.example.com]:110", "[::1]995", "[::1]:", "[fe80::1%]", "[::1%a b]",
           "pop3s://pop3s://mail.example.com", "mail.example.com..", ".", "2130706433",
           "127.1", "0x7f.0.0.1", "0177.0.0.1", "127.0.0.1.5", "256.0.0.1", "mail.0x1",
           "0.0.0.0", "[::]", "::", "[0:0::0]:110", "[fe80::1%25eth0]", "[fe80::1%eth0]",
           "2001:db8::1.", "[::1.]",
       }) {
    ServerAddress address;
    address.host = "untouched";
    EXPECT_FALSE(ParseServerAddress(text, address)) << '"' << text << '"';
    EXPECT_EQ("untouched", address.host) << text;
  }
  ServerAddress address;
  EXPECT_FALSE(ParseServerAddress(std::string("mail\0.example.com", 17), address));
  EXPECT_FALSE(ParseServerAddress("mail.example.com\r\nUSER x", address));
}

}  // namespace
