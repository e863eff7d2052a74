#include "platform/win32/label_fit.h"

#include <algorithm>
#include <vector>

namespace {

struct Fitting {
  HWND dialog;
  HDC dc;
  LONG rightmost;
};

// The room a control needs beside its text: the box of a check box or
// radio button and the gap after it; none for a label.
bool RoomBesideText(HWND control, LONG style, int& room, bool& alignedRight) {
  wchar_t className[16];
  if (GetClassNameW(control, className, 16) == 0) return false;
  room = 0;
  alignedRight = false;
  if (lstrcmpiW(className, L"Static") == 0) {
    const LONG type = style & SS_TYPEMASK;
    alignedRight = type == SS_RIGHT;
    return type == SS_LEFT || type == SS_RIGHT || type == SS_CENTER || type == SS_LEFTNOWORDWRAP ||
           type == SS_SIMPLE;
  }
  if (lstrcmpiW(className, L"Button") != 0) return false;
  const LONG type = style & BS_TYPEMASK;
  if (type != BS_CHECKBOX && type != BS_AUTOCHECKBOX && type != BS_RADIOBUTTON &&
      type != BS_AUTORADIOBUTTON && type != BS_3STATE && type != BS_AUTO3STATE)
    return false;
  room = GetSystemMetrics(SM_CXMENUCHECK) + 2 * GetSystemMetrics(SM_CXEDGE);
  return true;
}

BOOL CALLBACK FitControl(HWND control, LPARAM lParam) {
  Fitting& fit = *reinterpret_cast<Fitting*>(lParam);
  if (GetParent(control) != fit.dialog) return TRUE;
  const LONG style = GetWindowLongW(control, GWL_STYLE);
  int room = 0;
  bool alignedRight = false;
  const int length = GetWindowTextLengthW(control);
  if (length <= 0 || !RoomBesideText(control, style, room, alignedRight)) return TRUE;
  std::vector<wchar_t> text(static_cast<size_t>(length) + 1);
  GetWindowTextW(control, text.data(), length + 1);
  RECT extent{};
  DrawTextW(fit.dc, text.data(), -1, &extent, DT_CALCRECT | DT_SINGLELINE);
  // Two pixels for the focus rectangle drawn around the text.
  const LONG wanted = extent.right + room + 2;
  RECT rect;
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, fit.dialog, reinterpret_cast<POINT*>(&rect), 2);
  if (rect.right - rect.left < wanted) {
    if (alignedRight)
      rect.left = std::max<LONG>(0, rect.right - wanted);
    else
      rect.right = rect.left + wanted;
    SetWindowPos(control, nullptr, rect.left, rect.top, rect.right - rect.left,
                 rect.bottom - rect.top, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  fit.rightmost = std::max(fit.rightmost, rect.right);
  return TRUE;
}

}  // namespace

void FitLabelsToText(HWND dialog) {
  const HDC dc = GetDC(dialog);
  if (!dc) return;
  const HGDIOBJ font = reinterpret_cast<HGDIOBJ>(SendMessageW(dialog, WM_GETFONT, 0, 0));
  const HGDIOBJ previous = font ? SelectObject(dc, font) : nullptr;
  Fitting fit{dialog, dc, 0};
  EnumChildWindows(dialog, FitControl, reinterpret_cast<LPARAM>(&fit));
  if (previous) SelectObject(dc, previous);
  ReleaseDC(dialog, dc);
  // The templates keep a margin of 5 dialog units at the right.
  RECT margin{0, 0, 5, 0};
  MapDialogRect(dialog, &margin);
  RECT client;
  GetClientRect(dialog, &client);
  const LONG missing = fit.rightmost + margin.right - client.right;
  if (missing <= 0) return;
  RECT window;
  GetWindowRect(dialog, &window);
  SetWindowPos(dialog, nullptr, 0, 0, window.right - window.left + missing,
               window.bottom - window.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}
