// Message boxes with an OK button, owned by the program's main window, and
// questions with Yes and No.
#include "platform/win32/win32_services.h"
#include "platform/win32/wide_text.h"

namespace {

class Win32Boxes : public Boxes {
 public:
  Win32Boxes(const HWND* mainWindow, std::string title)
      : m_pMainWindow(mainWindow), m_strTitle(std::move(title)) {}

  void Show(const std::string& text, const std::string& caption, BoxKind kind) override {
    const UINT icon = kind == BoxKind::kWarning       ? MB_ICONEXCLAMATION
                      : kind == BoxKind::kInformation ? MB_ICONINFORMATION
                                                      : 0;
    MessageBoxW(*m_pMainWindow, Widen(text).c_str(),
                Widen(caption.empty() ? m_strTitle : caption).c_str(), MB_OK | icon);
  }

  // Owned by the thread's active window, so that a dialog asking waits for
  // the answer.
  bool Ask(const std::string& text, const std::string& caption) override {
    const HWND active = GetActiveWindow();
    return MessageBoxW(active ? active : *m_pMainWindow, Widen(text).c_str(),
                       Widen(caption.empty() ? m_strTitle : caption).c_str(),
                       MB_YESNO | MB_ICONQUESTION) == IDYES;
  }

 private:
  const HWND* m_pMainWindow;
  const std::string m_strTitle;
};

}  // namespace

std::shared_ptr<Boxes> CreateWin32Boxes(const HWND* mainWindow, std::string title) {
  return std::make_shared<Win32Boxes>(mainWindow, std::move(title));
}
