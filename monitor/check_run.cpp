#include "monitor/check_run.h"

#include <chrono>
#include <deque>
#include <functional>
#include <thread>
#include <utility>

#include "check/server_address.h"
#include "settings/seen_mail_file.h"

namespace {

std::string OutcomeText(const CheckOutcome& outcome) {
  switch (outcome.kind) {
    case OutcomeKind::kMailboxCount:
      return "mailbox count " + outcome.countText;
    case OutcomeKind::kUserRejected:
      return "user name rejected";
    case OutcomeKind::kPasswordRejected:
      return "password rejected";
    case OutcomeKind::kEnded:
      return "ended";
    default:
      return "failed at step " + std::to_string(outcome.result);
  }
}

// Starting a thread takes the system a while (under Wine, milliseconds
// each): checks asked for together are started by one thread of their own,
// so that twenty accounts checked at once never hold up the user
// interface's messages. That thread runs the last of them itself.
class Starter {
 public:
  static void Start(std::function<void()> work) {
    static Starter* const starter = new Starter();
    std::unique_lock<std::mutex> lock(starter->m_mutex);
    starter->m_waiting.push_back(std::move(work));
    if (starter->m_bRunning) return;
    starter->m_bRunning = true;
    lock.unlock();
    std::thread([] { starter->Run(); }).detach();
  }

 private:
  void Run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
      std::function<void()> work = std::move(m_waiting.front());
      m_waiting.pop_front();
      if (m_waiting.empty()) {
        m_bRunning = false;
        lock.unlock();
        return work();
      }
      lock.unlock();
      std::thread(std::move(work)).detach();
      lock.lock();
    }
  }

  std::mutex m_mutex;
  std::deque<std::function<void()>> m_waiting;
  bool m_bRunning = false;
};

}  // namespace

std::shared_ptr<CheckRun> CheckRun::Start(CheckJob job, std::unique_ptr<Transport> transport,
                                          std::shared_ptr<Outbox> outbox) {
  const std::shared_ptr<CheckRun> run(new CheckRun(std::move(transport), std::move(outbox)));
  run->m_job = std::move(job);
  // Never joined: at exit the program must not wait for a server that does
  // not answer, and the thread keeps what it uses alive itself.
  Starter::Start([run] { run->Run(run->m_job); });
  return run;
}

CheckRun::CheckRun(std::unique_ptr<Transport> transport, std::shared_ptr<Outbox> outbox)
    : m_pTransport(std::move(transport)), m_pOutbox(std::move(outbox)) {}

void CheckRun::Presented() {
  const std::lock_guard<std::mutex> lock(m_mutex);
  m_bWaitingForPresentation = false;
  m_presented.notify_all();
}

void CheckRun::Abandon() {
  const std::lock_guard<std::mutex> lock(m_mutex);
  m_bAbandoned = true;
  if (m_pWatch)
    m_pWatch->Stop();
  else if (m_pTransport)
    m_pTransport->Abort();
  m_presented.notify_all();
}

void CheckRun::Ask(PushRequest request) {
  const std::lock_guard<std::mutex> lock(m_mutex);
  if (m_pWatch) m_pWatch->Ask(request);
}

void CheckRun::RunImap(const CheckJob& job, const NewMailBasis& basis) {
  ImapSession session(*m_pTransport, job.mailbox, basis, job.log.get(),
                      ImapTimes{job.timeoutMs, job.renewalMs});
  // Each connection, the first and every one after a drop or a server's BYE
  // (an expired token among them), takes the token anew: a refused one is
  // renewed once and the log-in tried again, unseen by the user.
  const auto open = [this, &session] {
    return WithToken([&session](const MailAccount& mailbox) {
      session.UseAccessToken(mailbox.accessToken);
      return session.Open();
    });
  };
  PushWatch watch(session, job.push, open, [this](const CheckOutcome& outcome, bool last) {
    const CheckOutcome told = Told(outcome);
    if (last) {
      const std::lock_guard<std::mutex> lock(m_mutex);
      m_pWatch = nullptr;
    }
    HandOver(told, last, !last);
  });
  {
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (m_bAbandoned) return;
    m_pWatch = &watch;
  }
  watch.Run();
  const std::lock_guard<std::mutex> lock(m_mutex);
  m_pWatch = nullptr;
  m_pTransport.reset();
  m_bDone = true;
  m_presented.notify_all();
}

CheckOutcome CheckRun::WithToken(const TokenConversation& converse) {
  if (!m_job.tokens) return converse(m_job.mailbox);
  return ConverseWithToken(*m_job.tokens, m_job.account, m_job.mailbox, converse, m_job.timeoutMs,
                           m_job.log.get());
}

void CheckRun::WaitDone(std::chrono::steady_clock::time_point deadline) {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_presented.wait_until(lock, deadline, [this] { return m_bDone; });
}

// The transport goes before the last outcome is handed over, so that nothing
// of the connection is still in use once the frame has seen the end.
void CheckRun::Run(const CheckJob& job) {
  const auto started = std::chrono::steady_clock::now();
  if (job.log) job.log->Add("check starts");
  const NewMailBasis basis{LoadSeenMail(*job.files, job.seenPath, job.seenOwner), job.charsets};
  ServerAddress address;
  if (ParseServerAddress(job.mailbox.server, address) && address.protocol == ServerProtocol::kImap)
    return RunImap(job, basis);
  const TokenConversation converse = [&](const MailAccount& mailbox) {
    return RunMailCheck(*m_pTransport, mailbox, job.timeoutMs, *this, basis, job.log.get());
  };
  const CheckOutcome last = WithToken(converse);
  if (job.log) {
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started);
    job.log->Add("check ends: " + OutcomeText(last) + " after " + std::to_string(took.count()) +
                 " ms");
    job.log->Flush();
  }
  {
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_pTransport.reset();
    m_bDone = true;
    m_presented.notify_all();
  }
  HandOver(last, true);
}

// The seen mail is kept before the count is shown: what the user was told
// is remembered even when the program ends while the box is open. A check
// given up told the user nothing, so its mail stays new. A count also says
// when the sign-in will not outlast this run.
CheckOutcome CheckRun::Told(const CheckOutcome& counted) {
  CheckOutcome outcome = counted;
  if (outcome.kind == OutcomeKind::kMailboxCount) {
    if (!Abandoned()) SaveSeenMail(*m_job.files, m_job.seenPath, outcome.seen);
    if (m_job.tokens && m_job.tokens->NotKept(m_job.account))
      outcome.advice = Advice::kSignInNotKept;
  }
  if (m_job.log) {
    m_job.log->Add("outcome: " + OutcomeText(outcome));
    m_job.log->Flush();
  }
  return outcome;
}

void CheckRun::PresentBeforeQuit(const CheckOutcome& counted) {
  const CheckOutcome outcome = Told(counted);
  std::unique_lock<std::mutex> lock(m_mutex);
  m_bWaitingForPresentation = true;
  lock.unlock();
  HandOver(outcome, false);
  lock.lock();
  m_presented.wait(lock, [this] { return !m_bWaitingForPresentation || m_bAbandoned; });
}

bool CheckRun::Abandoned() {
  const std::lock_guard<std::mutex> lock(m_mutex);
  return m_bAbandoned;
}

void CheckRun::HandOver(const CheckOutcome& outcome, bool last, bool held) {
  if (Abandoned()) return;
  m_pOutbox->Put(AccountOutcome{m_job.account, m_job.run, last, outcome, held});
}
