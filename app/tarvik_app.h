#pragma once

#include <memory>
#include <string>
#include <vector>

#include "agent/main_frame.h"
#include "platform/platform.h"

// The application: starts the program, owns the hidden main frame and runs
// the message loop until the frame is gone.
class CTarvikApp : private CommandTarget {
 public:
  explicit CTarvikApp(Platform& platform);

  // Starts the sockets layer and creates the hidden frame, whose creation
  // starts the agent; or, when a copy runs already for the same settings
  // file, hands the command line's request to it. False when the program is
  // to end at once.
  bool InitInstance();
  // The exit code of a start that ended at once: 0 when it did what it was
  // asked without a frame of its own.
  int StartUpExitCode() const { return m_bDoneWithoutFrame ? 0 : 1; }
  // Runs the message loop until the main frame is destroyed; the exit code.
  int Run();
  void OnAppAbout();
  CMainFrame* MainFrame() const { return m_pMainFrame.get(); }

 private:
  bool OnCommand(unsigned command) override;
  // Carries out the command line; false when start-up must end.
  bool ProcessShellCommand(const std::vector<std::string>& arguments);

  Platform& m_platform;
  // Outlives its window: a check can still be returning from a message box
  // when the window has just been destroyed.
  std::unique_ptr<CMainFrame> m_pMainFrame;
  bool m_bDoneWithoutFrame = false;
};
