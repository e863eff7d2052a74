#include "platform/ui/dialog.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "platform/win_constants.h"

void DDX_Text(DataExchange& exchange, int controlId, std::string& value) {
  if (exchange.m_bSaveAndValidate)
    value = exchange.m_controls.Text(exchange.m_hDialog, controlId);
  else
    exchange.m_controls.SetText(exchange.m_hDialog, controlId, value);
}

void DDX_Text(DataExchange& exchange, int controlId, int& value) {
  if (!exchange.m_bSaveAndValidate) {
    exchange.m_controls.SetText(exchange.m_hDialog, controlId, std::to_string(value));
    return;
  }
  const std::string text = exchange.m_controls.Text(exchange.m_hDialog, controlId);
  char* end = nullptr;
  errno = 0;
  const long parsed = std::strtol(text.c_str(), &end, 10);
  if (end == text.c_str() || *end != '\0' || errno == ERANGE || parsed < INT_MIN ||
      parsed > INT_MAX)
    return;
  value = static_cast<int>(parsed);
}

void DDX_Check(DataExchange& exchange, int controlId, int& value) {
  if (exchange.m_bSaveAndValidate)
    value = exchange.m_controls.IsChecked(exchange.m_hDialog, controlId) ? 1 : 0;
  else
    exchange.m_controls.Check(exchange.m_hDialog, controlId, value == 1);
}

Dialog::Dialog(Platform& platform, int templateId)
    : m_platform(platform), m_nTemplateId(templateId) {}

int Dialog::DoModal() {
  m_bEnded = false;
  const int result = m_platform.RunModalDialog(*this, m_nTemplateId);
  m_hWnd = nullptr;
  return result;
}

intptr_t Dialog::DialogProc(unsigned message, uintptr_t wParam, intptr_t) {
  switch (message) {
    case win::kWmInitDialog:
      return OnInitDialog() ? 1 : 0;
    case win::kWmCommand: {
      const int controlId = static_cast<int>(wParam & 0xFFFF);
      if (controlId == kIdOk)
        OnOK();
      else if (controlId == kIdCancel)
        OnCancel();
      else
        return OnCommand(controlId) ? 1 : 0;
      return 1;
    }
    case win::kWmClose:
      OnClose();
      return 1;
    // Windows uses the low four bits of the command itself.
    case win::kWmSysCommand:
      return (wParam & 0xFFF0) == win::kScMinimize && OnMinimize() ? 1 : 0;
    case win::kWmPaint:
      return OnPaint() ? 1 : 0;
    case win::kWmQueryDragIcon:
      return reinterpret_cast<intptr_t>(OnQueryDragIcon());
    default:
      if (message < kFirstProgramMessage || message > kLastProgramMessage) return 0;
      return OnProgramMessage(message) ? 1 : 0;
  }
}

void Dialog::UpdateData(bool save) {
  DataExchange exchange(m_platform.DialogControls(), m_hWnd, save);
  DoDataExchange(exchange);
}

bool Dialog::OnInitDialog() {
  UpdateData(false);
  return true;
}

void Dialog::OnOK() {
  UpdateData(true);
  EndDialog(kIdOk);
}

void Dialog::OnCancel() { EndDialog(kIdCancel); }

void Dialog::OnClose() { OnCancel(); }

bool Dialog::OnCommand(int) { return false; }

void Dialog::EndDialog(int result) {
  if (m_bEnded) return;
  m_bEnded = true;
  m_platform.DialogControls().EndDialog(m_hWnd, result);
}
