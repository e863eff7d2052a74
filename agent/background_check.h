#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>

#include "check/pop3/pop3_check.h"
#include "log/event_log.h"
#include "platform/platform.h"

// One mail check on a thread of its own, so that the user interface never
// waits on the network. The thread and the frame share only this object,
// which lives as long as either holds it: once the frame has abandoned the
// check, the thread reaches neither the platform nor the frame again.
class BackgroundCheck final : private OutcomeHandover {
 public:
  // Starts the conversation; whenever an outcome waits to be presented,
  // message is posted to window. With a log, the check's thread writes its
  // start, its conversation, its outcome and its end to it. basis tells new
  // messages from those seen before.
  static std::shared_ptr<BackgroundCheck> Start(Platform& platform, WindowHandle window,
                                                unsigned message,
                                                std::unique_ptr<Transport> transport,
                                                const MailAccount& account, int timeoutMs,
                                                std::shared_ptr<EventLog> log,
                                                NewMailBasis basis = NewMailBasis());

  // The outcome waiting to be presented, if any.
  std::optional<CheckOutcome> TakeOutcome();
  // True once the conversation is over and its last outcome was taken.
  bool Ended();
  // Lets the conversation go on after the outcome it handed over was presented.
  void Presented();
  // Gives the check up: its connection is cut and it announces nothing more.
  void Abandon();

 private:
  BackgroundCheck(Platform& platform, WindowHandle window, unsigned message,
                  std::unique_ptr<Transport> transport, std::shared_ptr<EventLog> log);
  void Run(const MailAccount& account, int timeoutMs, const NewMailBasis& basis);
  void PresentBeforeQuit(const CheckOutcome& outcome) override;
  // Called with m_mutex held.
  void Announce(const CheckOutcome& outcome);

  std::mutex m_mutex;
  std::condition_variable m_presented;
  // Null once the check was abandoned.
  Platform* m_pPlatform;
  WindowHandle m_hWindow;
  unsigned m_nMessage;
  std::unique_ptr<Transport> m_pTransport;
  const std::shared_ptr<EventLog> m_pLog;
  std::optional<CheckOutcome> m_pending;
  bool m_bWaitingForPresentation = false;
  bool m_bEnded = false;
};
