#pragma once

#include "agent/main_frame.h"
#include "tests/double/fake_platform.h"

// Delivers what a running check posts, as the message loop would, until its
// last outcome has been presented.
inline void FinishCheck(FakePlatform& platform, CMainFrame& frame) {
  platform.DeliverPostedWhile([&frame] { return frame.IsChecking(); });
}

// Runs one check of the frame to its end.
inline void RunCheck(FakePlatform& platform, CMainFrame& frame) {
  frame.CheckNow();
  FinishCheck(platform, frame);
}

// Changes the frame's settings as a dialog's OK would, without saving them.
template <typename Change>
void ChangeSettings(CMainFrame& frame, Change change) {
  MailSettings settings = frame.Settings();
  change(settings);
  frame.ApplySettings(settings);
}
