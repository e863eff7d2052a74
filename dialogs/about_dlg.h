#pragma once

#include "platform/ui/dialog.h"

// The about box: the program's name, version and maker.
class CAboutDlg : public Dialog {
 public:
  explicit CAboutDlg(Platform& platform);

 protected:
  void DoDataExchange(DataExchange& exchange) override;
};
