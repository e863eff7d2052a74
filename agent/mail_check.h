#pragma once

#include <string>

#include "agent/check_result.h"
#include "platform/transport.h"

// The mailbox to check.
struct Pop3Account {
  std::string server;
  std::string user;
  std::string password;
};

// How the conversation reports what it learns while it runs. Each call comes
// at the point of the conversation where the user is to be told.
class CheckPresenter {
 public:
  virtual void OnResolveFailed() = 0;
  virtual void OnConnectFailed() = 0;
  virtual void OnUserRejected() = 0;
  virtual void OnPasswordRejected() = 0;
  // countText is the count field exactly as received; count is its value.
  virtual void OnMailboxCount(const std::string& countText, int count) = 0;

 protected:
  ~CheckPresenter() = default;
};

constexpr unsigned short kPop3Port = 110;
// No step of the conversation may wait longer than this.
constexpr int kNetworkTimeoutMs = 30000;

// One complete POP3 conversation: USER, PASS, STAT, QUIT.
CheckResult RunMailCheck(Transport& transport, const Pop3Account& account, int timeoutMs,
                         CheckPresenter& presenter);

// The count field of a STAT reply: the second run of non-space characters.
// False when the reply has no second field.
bool StatCountField(const std::string& reply, std::string& countText);
