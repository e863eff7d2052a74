// Checks against a real POP3 server, dovecot, started on loopback by the
// test fixture with known mailboxes.
#include <gtest/gtest.h>

#include <cstdlib>

#include "agent/main_frame.h"
#include "platform/posix/posix_transport.h"
#include "res/resource.h"
#include "tests/double/check_driver.h"
#include "tests/double/fake_platform.h"
#include "tests/double/redirect_transport.h"

namespace {

class DovecotTest : public ::testing::Test {
 protected:
  DovecotTest() {
    const char* port = std::getenv("DOVECOT_PORT");
    m_nPort = static_cast<uint16_t>(port ? std::atoi(port) : 0);
    platform.transports = [this] {
      return std::make_unique<RedirectTransport>(CreatePosixTransport(), m_nPort, 10000);
    };
    // Without a settings file the first check has no server to ask.
    EXPECT_TRUE(frame.Create("Tarvik"));
    FinishCheck(platform, frame);
  }

  void Check(const std::string& user, const std::string& password) {
    frame.m_strServer = "localhost";
    frame.m_strUser = user;
    frame.m_strPassword = password;
    RunCheck(platform, frame);
  }
  int Picture() const { return FakePlatform::IconId(frame.m_nid.hIcon); }
  std::string Tip() const { return frame.m_nid.szTip; }

  uint16_t m_nPort;
  FakePlatform platform;
  CMainFrame frame{platform, nullptr};
};

TEST_F(DovecotTest, CountsOfRealMailboxes) {
  ASSERT_NE(0, m_nPort) << "DOVECOT_PORT names the server's port";
  frame.m_bShowCount = 1;
  Check("zero", "secret");
  EXPECT_EQ("No messages waiting", Tip());
  EXPECT_EQ(IDI_NOMAIL, Picture());
  Check("one", "secret");
  EXPECT_EQ("You have 1 message waiting", Tip());
  Check("twelve", "secret");
  EXPECT_EQ("You have 12 messages waiting", Tip());
  EXPECT_EQ(IDI_NEWMAIL, Picture());
  Check("other", "p a s s");
  EXPECT_EQ("You have 3 messages waiting", Tip());
  EXPECT_EQ(IDI_NEWMAIL, Picture());
  ASSERT_EQ(3u, platform.boxes.size());
  EXPECT_EQ("You have 12 messages waiting", platform.boxes[1].text);
}

TEST_F(DovecotTest, AWrongPasswordIsRejected) {
  ASSERT_NE(0, m_nPort);
  Check("twelve", "wrong");
  ASSERT_EQ(1u, platform.boxes.size());
  EXPECT_EQ("Incorrect password or user name!", platform.boxes[0].text);
  EXPECT_EQ(IDI_NOTCONNECTED, Picture());
  Check("nobody", "secret");
  ASSERT_EQ(2u, platform.boxes.size())
      << "dovecot accepts any user name and refuses the login at PASS";
  EXPECT_EQ("Incorrect password or user name!", platform.boxes[1].text);
}

}  // namespace
