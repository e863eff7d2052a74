#include "check/signin/xoauth2.h"

#include "check/signin/base64.h"

std::string Xoauth2Payload(const std::string& user, const std::string& accessToken) {
  return Base64("user=" + user + "\x01" + "auth=Bearer " + accessToken + "\x01\x01");
}

std::string ImapAuthenticateCommand(const std::string& tag, const std::string& payload,
                                    bool saslIr) {
  return tag + " AUTHENTICATE XOAUTH2" + (saslIr ? " " + payload : std::string());
}

bool IsSaslContinuation(const std::string& line) {
  return line == "+" || line.compare(0, 2, "+ ") == 0;
}

bool AnswerContinuation(int continuation, bool payloadInCommand, const std::string& payload,
                        std::string& line) {
  const int step = continuation + (payloadInCommand ? 1 : 0);
  line = step == 0 ? payload : std::string();
  return step <= 1;
}

std::string LoggedSaslLine(const std::string& line, bool inExchange) {
  if (inExchange) return line.empty() ? line : "***";
  // The argument after the mechanism is an initial response: "AUTH XOAUTH2 x"
  // (POP3) or "TAG AUTHENTICATE XOAUTH2 x" (IMAP).
  size_t verb = 0;
  if (line.compare(0, 5, "AUTH ") != 0) {
    verb = line.find(' ');
    if (verb == std::string::npos || line.compare(verb + 1, 13, "AUTHENTICATE ") != 0) return line;
    ++verb;
  }
  const size_t argument = line.find(' ', line.find(' ', verb) + 1);
  return argument == std::string::npos ? line : line.substr(0, argument) + " ***";
}
