#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"
#include "platform/ui/controls.h"

// The ids of a dialog's OK and Cancel buttons, which are also its results.
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;

// Moves values between a dialog's controls and its members, one direction
// per exchange.
class DataExchange {
 public:
  DataExchange(Controls& controls, WindowHandle dialog, bool saveAndValidate)
      : m_controls(controls), m_hDialog(dialog), m_bSaveAndValidate(saveAndValidate) {}

  Controls& m_controls;
  WindowHandle m_hDialog;
  // True: controls to members; false: members to controls.
  bool m_bSaveAndValidate;
};

// Text exactly as typed.
void DDX_Text(DataExchange& exchange, int controlId, std::string& value);
// A decimal integer; text that is not one leaves the member as it was.
void DDX_Text(DataExchange& exchange, int controlId, int& value);
// A two-state check box: ticked is 1; only a member equal to 1 ticks it.
void DDX_Check(DataExchange& exchange, int controlId, int& value);

// A modal dialog run from a template in the resources. The platform hands
// every message to DialogProc, which turns it into calls of typed handlers.
class Dialog {
 public:
  Dialog(Platform& platform, int templateId);
  virtual ~Dialog() = default;
  Dialog(const Dialog&) = delete;
  Dialog& operator=(const Dialog&) = delete;

  // Runs the dialog; kIdOk or kIdCancel (or -1 when it could not be shown).
  int DoModal();
  // Called by the platform before the first message is dispatched.
  void Attach(WindowHandle handle) { m_hWnd = handle; }
  WindowHandle Handle() const { return m_hWnd; }
  // True for a dialog whose labels and check boxes the platform widens to
  // their text when it opens; the first versions' templates keep theirs.
  bool FitsLabelsToText() const { return m_bFitLabels; }
  // Every message to the dialog arrives here; nonzero when handled (for the
  // few messages whose answer is a value, that value).
  intptr_t DialogProc(unsigned message, uintptr_t wParam, intptr_t lParam);

 protected:
  // Controls to members when save is true, else members to controls.
  void UpdateData(bool save);
  virtual void DoDataExchange(DataExchange& exchange) = 0;
  // Shows the members; true lets the focus go to the first tab stop.
  virtual bool OnInitDialog();
  virtual void OnOK();
  virtual void OnCancel();
  virtual void OnClose();
  // A command from a control other than OK and Cancel; true when handled.
  virtual bool OnCommand(int controlId);
  // The minimize box or the system menu's Minimize; true when handled.
  virtual bool OnMinimize() { return false; }
  // Painting; true when handled.
  virtual bool OnPaint() { return false; }
  // The picture shown while a minimised dialog is dragged; null: the default.
  virtual IconHandle OnQueryDragIcon() { return nullptr; }
  // A message the program posted to the dialog (from kFirstProgramMessage
  // on); true when handled.
  virtual bool OnProgramMessage(unsigned) { return false; }
  // Ends the modal loop. The first result given stands: a later call (such as
  // the cancel that the default close processing would add) cannot change it.
  void EndDialog(int result);
  Controls& DialogControls() { return m_platform.DialogControls(); }

  Platform& m_platform;
  bool m_bFitLabels = false;

 private:
  int m_nTemplateId;
  WindowHandle m_hWnd = nullptr;
  bool m_bEnded = false;
};
