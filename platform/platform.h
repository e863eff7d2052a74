#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/services.h"

class Controls;
class Dialog;
class FrameWindow;

using WindowHandle = void*;

// Messages the program posts to its own windows are numbered in this range.
constexpr unsigned kFirstProgramMessage = 0x8000;
constexpr unsigned kLastProgramMessage = 0xBFFF;

// What hosts the program: its hidden frame window with the message loop and
// timers, and its modal dialogs. Everything else the program asks of the
// system is a service named for what it does. The Win32 build provides the
// real ones; the unit tests provide doubles that record what was asked.
class Platform {
 public:
  virtual ~Platform() = default;

  // Creates the hidden frame window, the program's main window; its creation
  // message is dispatched before this returns. False when creation failed or
  // was refused.
  virtual bool CreateFrameWindow(FrameWindow& window, const std::string& title) = 0;
  virtual void DestroyWindow(WindowHandle window) = 0;
  virtual void HideWindow(WindowHandle window) = 0;
  virtual bool BringToFront(WindowHandle window) = 0;
  // The default processing of a message the program does not handle itself.
  virtual intptr_t DefaultWindowProc(WindowHandle window, unsigned message, uintptr_t wParam,
                                     intptr_t lParam) = 0;
  // Queues the message for the window's thread and returns at once; false
  // when it could not be queued. May be called from any thread.
  virtual bool PostToWindow(WindowHandle window, unsigned message) = 0;
  virtual void PostQuitMessage(int exitCode) = 0;
  // Runs the message loop until the quit message; returns its exit code.
  virtual int RunMessageLoop() = 0;
  // Sends the window a timer message with id every periodMs until killed.
  virtual bool SetTimer(WindowHandle window, unsigned id, unsigned periodMs) = 0;
  virtual void KillTimer(WindowHandle window, unsigned id) = 0;

  // Runs the dialog from its template, owned by the main window; returns the
  // result given to EndDialog, or -1 when the dialog could not be created.
  virtual int RunModalDialog(Dialog& dialog, int templateId) = 0;
  // The controls of the dialogs while they run.
  virtual Controls& DialogControls() = 0;

  virtual const Services& GetServices() = 0;

  // The running executable's full path, however long.
  virtual std::string ModuleFileName() = 0;
  virtual std::vector<std::string> CommandLineArguments() = 0;
};
