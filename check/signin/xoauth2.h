#pragma once

#include <string>

// The SASL XOAUTH2 initial response: base64("user=" USER "\x01auth=Bearer "
// TOKEN "\x01\x01").
std::string Xoauth2Payload(const std::string& user, const std::string& accessToken);

// The most a payload line may hold, its line end included: a token is a few
// kilobytes at most.
constexpr size_t kMaxSaslLine = 16 * 1024;

// IMAP's AUTHENTICATE for XOAUTH2 (RFC 3501 section 6.2.2): with SASL-IR
// (RFC 4959) listed, the payload goes in the command itself.
std::string ImapAuthenticateCommand(const std::string& tag, const std::string& payload,
                                    bool saslIr);

// True for a server's continuation line: "+" alone or "+ " and a challenge.
bool IsSaslContinuation(const std::string& line);

// The line that answers the server's continuation number continuation
// (from 0) in an XOAUTH2 exchange: the payload, unless it went in the
// command; after it, the error challenge gets an empty line (RFC 7628
// section 3.2.3) and the server's refusal follows. False for a continuation
// after that, which ends the exchange as refused.
bool AnswerContinuation(int continuation, bool payloadInCommand, const std::string& payload,
                        std::string& line);

// A command or SASL line as the log may show it: an AUTH or AUTHENTICATE
// argument after the mechanism, and any line but an empty one sent in the
// exchange, as "***".
std::string LoggedSaslLine(const std::string& line, bool inExchange);
