#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

#include "check/pop3/pop3_check.h"
#include "log/event_log.h"
#include "monitor/outbox.h"
#include "monitor/sign_in_tokens.h"
#include "monitor/push_watch.h"
#include "platform/services.h"

// What one check needs, as values and shared services: its thread owns or
// shares everything it touches, so that nothing it uses goes away while it
// runs, also after the program has given it up.
struct CheckJob {
  int account = 0;
  int run = 0;
  MailAccount mailbox;
  int timeoutMs = kNetworkTimeoutMs;
  // Where the account's seen mail is kept, and whose record it must be.
  std::string seenPath;
  uint64_t seenOwner = 0;
  std::shared_ptr<Files> files;
  std::shared_ptr<const CharsetDecoder> charsets;
  // An IMAP account's connection is held for the server to push, where it
  // can, and its wait in IDLE renewed this often.
  bool push = true;
  int renewalMs = ImapTimes().renewalMs;
  // Null while the log is off.
  std::shared_ptr<EventLog> log;
  // Where the access token comes from, for an account that signs in with
  // Microsoft; null for one that sends a password.
  std::shared_ptr<SignInTokens> tokens;
};

// One mail check on a thread of its own, so that the user interface never
// waits on the network. It reads and writes the account's seen mail there,
// and leaves its outcomes in the outbox. An IMAP account whose server can
// push stays in its check: its connection is held, and each count it
// brings is handed over as it comes.
class CheckRun final : private OutcomeHandover {
 public:
  static std::shared_ptr<CheckRun> Start(CheckJob job, std::unique_ptr<Transport> transport,
                                         std::shared_ptr<Outbox> outbox);

  // Lets the conversation go on after the outcome it handed over was presented.
  void Presented();
  // Gives the check up: its connection is cut (a held IMAP connection says
  // goodbye first) and it hands over nothing more.
  void Abandon();
  // Asks a held connection for a count, or to be opened again.
  void Ask(PushRequest request);
  // Waits until the check's thread is done with its connection, or until
  // the deadline: a held connection given up says goodbye on that thread.
  void WaitDone(std::chrono::steady_clock::time_point deadline);

 private:
  CheckRun(std::unique_ptr<Transport> transport, std::shared_ptr<Outbox> outbox);
  void Run(const CheckJob& job);
  // An IMAP account's check; the last outcome is handed over there.
  void RunImap(const CheckJob& job, const NewMailBasis& basis);
  void PresentBeforeQuit(const CheckOutcome& outcome) override;
  // The conversation, with the account's access token where it signs in with one.
  CheckOutcome WithToken(const TokenConversation& converse);
  // A count's seen mail kept and its advice added, and the outcome logged.
  CheckOutcome Told(const CheckOutcome& counted);
  void HandOver(const CheckOutcome& outcome, bool last, bool held = false);
  bool Abandoned();

  std::mutex m_mutex;
  std::condition_variable m_presented;
  CheckJob m_job;
  std::unique_ptr<Transport> m_pTransport;
  // While an IMAP check runs.
  PushWatch* m_pWatch = nullptr;
  const std::shared_ptr<Outbox> m_pOutbox;
  bool m_bAbandoned = false;
  bool m_bDone = false;
  bool m_bWaitingForPresentation = false;
};
