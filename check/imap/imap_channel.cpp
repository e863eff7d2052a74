#include "check/imap/imap_channel.h"

#include <cctype>

#include "check/signin/xoauth2.h"
#include "log/event_log.h"
#include "platform/deadline.h"

namespace {

bool HasEightBit(const std::string& text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) > 0x7F) return true;
  return false;
}

// RFC 9051's quoted string: only '"' and '\' need escaping.
std::string Quoted(const std::string& text) {
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + '"';
}

ImapStatus StatusOf(const ImapResponse& completion) {
  if (completion.name == "OK") return ImapStatus::kOk;
  if (completion.name == "NO") return ImapStatus::kNo;
  return ImapStatus::kBad;
}

// A FETCH that carries flags, or anything but the header this program
// asked for, tells of a change made elsewhere.
bool FetchTellsChange(const ImapResponse& response) {
  bool headerOnly = false;
  for (const ImapToken& token : response.data) {
    if (token.type != ImapToken::Type::kAtom) continue;
    std::string name;
    for (char c : token.text.substr(0, 5))
      name += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (name == "FLAGS") return true;
    headerOnly = headerOnly || name == "BODY[";
  }
  return !headerOnly;
}

}  // namespace

ImapChannel::ImapChannel(Transport& transport, int timeoutMs, EventLog* log)
    : m_transport(transport), m_timeoutMs(timeoutMs), m_pLog(log), m_reader(transport, log) {}

std::string ImapChannel::NextTag() {
  m_strTag = "a" + std::to_string(++m_nTag);
  return m_strTag;
}

bool ImapChannel::Send(const std::string& bytes, const std::string& logged) {
  if (m_pLog && !logged.empty()) m_pLog->Add("> " + logged);
  return m_transport.Send(bytes, m_timeoutMs);
}

ImapStatus ImapChannel::Run(const std::string& text, const Untagged& onUntagged,
                            ImapResponse* completion, const ImapReader::NumberSink* onSearch) {
  const std::string command = NextTag() + " " + text;
  const Deadline deadline(m_timeoutMs);
  if (!Send(command + "\r\n", command)) return ImapStatus::kNone;
  return ReadCompletion(deadline, onUntagged, completion, onSearch);
}

ImapStatus ImapChannel::Login(const std::string& user, const std::string& password,
                              bool literalPlus, const Untagged& onUntagged,
                              ImapResponse* completion) {
  // Either would end the command line early and start another.
  const std::string forbidden("\r\n\0", 3);
  if (user.find_first_of(forbidden) != std::string::npos ||
      password.find_first_of(forbidden) != std::string::npos)
    return ImapStatus::kNone;
  const std::string prefix = NextTag() + " LOGIN ";
  const Deadline deadline(m_timeoutMs);
  const auto header = [literalPlus](const std::string& argument) {
    return "{" + std::to_string(argument.size()) + (literalPlus ? "+}" : "}");
  };
  if (m_pLog)
    m_pLog->Add("> " + prefix + (HasEightBit(user) ? header(user) : Quoted(user)) + " ***");
  // Each literal's "{n}" ends a line; its bytes start the next one.
  std::string line = prefix;
  for (const std::string* argument : {&user, &password}) {
    if (argument == &password) line += ' ';
    if (!HasEightBit(*argument)) {
      line += Quoted(*argument);
      continue;
    }
    if (!Send(line + header(*argument) + "\r\n", std::string())) return ImapStatus::kNone;
    if (!literalPlus) {
      bool continuation = false;
      const ImapStatus status =
          ReadCompletion(deadline, onUntagged, completion, nullptr, &continuation);
      if (!continuation) return status;
    }
    line = *argument;
  }
  if (!Send(line + "\r\n", std::string())) return ImapStatus::kNone;
  return ReadCompletion(deadline, onUntagged, completion, nullptr);
}

ImapStatus ImapChannel::Authenticate(const std::string& payload, bool saslIr,
                                     const Untagged& onUntagged, ImapResponse* completion) {
  const std::string command = ImapAuthenticateCommand(NextTag(), payload, saslIr);
  const Deadline deadline(m_timeoutMs);
  if (!Send(command + "\r\n", LoggedSaslLine(command, false))) return ImapStatus::kNone;
  std::string line;
  for (int continuation = 0;; ++continuation) {
    bool asked = false;
    const ImapStatus status = ReadCompletion(deadline, onUntagged, completion, nullptr, &asked);
    if (!asked) return status;
    // RFC 3501 section 6.2.2: "*" cancels an exchange the server will not end.
    if (!AnswerContinuation(continuation, saslIr, payload, line)) {
      if (Send("*\r\n", "*")) ReadCompletion(deadline, onUntagged, completion, nullptr);
      return ImapStatus::kNo;
    }
    if (!Send(line + "\r\n", LoggedSaslLine(line, true))) return ImapStatus::kNone;
  }
}

ImapStatus ImapChannel::StartIdle() {
  const std::string command = NextTag() + " IDLE";
  const Deadline deadline(m_timeoutMs);
  if (!Send(command + "\r\n", command)) return ImapStatus::kNone;
  bool continuation = false;
  const ImapStatus status = ReadCompletion(deadline, nullptr, nullptr, nullptr, &continuation);
  if (continuation) return ImapStatus::kOk;
  // Completed at once, IDLE never began.
  return status == ImapStatus::kOk ? ImapStatus::kNone : status;
}

ImapStatus ImapChannel::EndIdle() {
  const Deadline deadline(m_timeoutMs);
  if (!Send("DONE\r\n", "DONE")) return ImapStatus::kNone;
  return ReadCompletion(deadline, nullptr, nullptr, nullptr);
}

bool ImapChannel::SendGoodbye(bool idling, int timeoutMs) {
  const std::string logout = NextTag() + " LOGOUT";
  if (m_pLog) {
    if (idling) m_pLog->Add("> DONE");
    m_pLog->Add("> " + logout);
  }
  return m_transport.Send((idling ? "DONE\r\n" : "") + logout + "\r\n", timeoutMs);
}

bool ImapChannel::ReadUnasked(ImapResponse& response) {
  if (!m_reader.Read(response, Deadline(m_timeoutMs)) ||
      response.kind != ImapResponseKind::kUntagged)
    return false;
  Notice(response);
  return true;
}

bool ImapChannel::TakeChange() {
  const bool changed = m_bChanged;
  m_bChanged = false;
  return changed;
}

ImapStatus ImapChannel::ReadCompletion(const Deadline& deadline, const Untagged& onUntagged,
                                       ImapResponse* completion,
                                       const ImapReader::NumberSink* onSearch, bool* continuation) {
  for (;;) {
    ImapResponse response;
    if (!m_reader.Read(response, deadline, onSearch)) return ImapStatus::kNone;
    switch (response.kind) {
      case ImapResponseKind::kContinuation:
        if (!continuation) return ImapStatus::kNone;
        *continuation = true;
        return ImapStatus::kOk;
      case ImapResponseKind::kUntagged:
        Notice(response);
        if (onUntagged) onUntagged(response);
        continue;
      case ImapResponseKind::kTagged:
        break;
    }
    // A completion of some other command is no answer to this one.
    if (response.tag != m_strTag) return ImapStatus::kNone;
    const ImapStatus status = StatusOf(response);
    if (completion) *completion = std::move(response);
    return status;
  }
}

void ImapChannel::Notice(const ImapResponse& response) {
  if (response.name == "BYE") m_bBye = true;
  if (response.numbered && (response.name == "EXISTS" || response.name == "EXPUNGE" ||
                            (response.name == "FETCH" && FetchTellsChange(response))))
    m_bChanged = true;
}
