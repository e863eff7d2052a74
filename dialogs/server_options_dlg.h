#pragma once

#include <string>

#include "platform/ui/dialog.h"

// The modal dialog for the mailbox connection: server, user name, password
// and the minutes between checks. It works on its own members only; closing
// it any way but Cancel or Esc accepts what was typed.
class CServerOptionsDlg : public Dialog {
 public:
  explicit CServerOptionsDlg(Platform& platform);

  std::string m_strServer;
  std::string m_strUser;
  std::string m_strPassword;
  int m_nInterval = 0;
  IconHandle m_hIcon;

 protected:
  void DoDataExchange(DataExchange& exchange) override;
  void OnOK() override;
  void OnClose() override;
  bool OnCommand(int controlId) override;
  bool OnMinimize() override;
  bool OnPaint() override;
  IconHandle OnQueryDragIcon() override;

 private:
  void OnIntervalUp();
  void OnIntervalDown();
  // Keeps what was typed, then moves the interval by step unless that would
  // carry it past limit.
  void StepInterval(int step, int limit);
};
