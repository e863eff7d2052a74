// Checks against a real POP3 server, dovecot, started on loopback by the
// test fixture with known mailboxes.
#include <gtest/gtest.h>

#include <cstdlib>

#include "agent/main_frame.h"
#include "platform/posix/posix_transport.h"
#include "res/resource.h"
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
  }

  CheckResult Check(const std::string& user, const std::string& password) {
    frame.m_strServer = "localhost";
    frame.m_strUser = user;
    frame.m_strPassword = password;
    return frame.CheckMail();
  }
  std::string Tip() const { return frame.m_nid.szTip; }

  uint16_t m_nPort;
  FakePlatform platform;
  CMainFrame frame{platform, nullptr};
};

TEST_F(DovecotTest, CountsOfRealMailboxes) {
  ASSERT_NE(0, m_nPort) << "DOVECOT_PORT names the server's port";
  frame.m_bShowCount = 1;
  EXPECT_EQ(kCheckCompleted, Check("zero", "secret"));
  EXPECT_EQ("No messages waiting", Tip());
  EXPECT_EQ(IDI_NOMAIL, FakePlatform::IconId(frame.m_nid.hIcon));
  EXPECT_EQ(kCheckCompleted, Check("one", "secret"));
  EXPECT_EQ("You have 1 message waiting", Tip());
  EXPECT_EQ(kCheckCompleted, Check("twelve", "secret"));
  EXPECT_EQ("You have 12 messages waiting", Tip());
  EXPECT_EQ(IDI_NEWMAIL, FakePlatform::IconId(frame.m_nid.hIcon));
  EXPECT_EQ(kCheckCompleted, Check("other", "p a s s"));
  EXPECT_EQ("You have 3 messages waiting", Tip());
  ASSERT_EQ(3u, platform.boxes.size());
  EXPECT_EQ("You have 12 messages waiting", platform.boxes[1].text);
}

TEST_F(DovecotTest, AWrongPasswordIsRejected) {
  ASSERT_NE(0, m_nPort);
  EXPECT_EQ(kCheckPassRejected, Check("twelve", "wrong"));
  ASSERT_EQ(1u, platform.boxes.size());
  EXPECT_EQ("Incorrect password or user name!", platform.boxes[0].text);
  EXPECT_EQ(kCheckPassRejected, Check("nobody", "secret"))
      << "dovecot accepts any user name and refuses the login at PASS";
}

}  // namespace
