#pragma once

#include <string>
#include <vector>

#include "check/signin/microsoft.h"

// How the user name and password went to the server: as UTF-8 (RFC 6856),
// or in the system's ANSI code page as earlier versions sent them.
enum class LoginForm { kUnknown, kUtf8, kAnsi };

// The mailbox a check logs in to.
struct MailAccount {
  std::string server;
  std::string user;
  std::string password;
  // The user name and password in the system's ANSI code page, as earlier
  // versions sent them; both empty where that form does not differ from
  // the UTF-8 one or does not exist.
  std::string ansiUser = {};
  std::string ansiPassword = {};
  // The form that logged in before: only it is sent. Unknown sends UTF-8,
  // then the ANSI form once if the server refuses it and the forms differ.
  LoginForm form = LoginForm::kUnknown;
  // With a token, the log-in is SASL XOAUTH2 with it instead of the user
  // name and password, and only with a server among tokenHosts over TLS.
  std::string accessToken = {};
  std::vector<std::string> tokenHosts = MicrosoftHosts(std::string());
};
