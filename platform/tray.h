#pragma once

#include <cstdint>
#include <optional>
#include <string>

using WindowHandle = void*;

// The program's icon in the notification area, as the program describes it:
// the picture by its icon resource, the tooltip as UTF-8 of any length,
// which the platform cuts to what the shell shows, never inside a character.
struct TrayRecord {
  WindowHandle window = nullptr;
  unsigned id = 0;
  unsigned callbackMessage = 0;
  int pictureId = 0;
  std::string tip;
};

// A balloon notification from the icon. Texts are UTF-8, cut to fit.
struct Balloon {
  std::string title;
  std::string text;
  int pictureId = 0;
  // The system's own sound stays off, for a program that plays its own.
  bool silent = false;
  // News waits out the system's quiet time after a first log-on or an
  // upgrade; the first start's guidance does not.
  bool news = true;
};

// What the user did with the icon or its balloon.
enum class TrayEvent { kDoubleClick, kRightClick, kBalloonClick, kShellRestarted };

class Tray {
 public:
  virtual ~Tray() = default;
  // Each is false when the shell refused.
  virtual bool Add(const TrayRecord& record) = 0;
  virtual bool Modify(const TrayRecord& record) = 0;
  virtual void Remove(const TrayRecord& record) = 0;
  virtual bool ShowBalloon(const TrayRecord& record, const Balloon& balloon) = 0;
  // The event a window message carries for the icon added last, if any:
  // also the shell's word that it restarted and forgot every icon.
  virtual std::optional<TrayEvent> Received(unsigned message, uintptr_t wParam,
                                            intptr_t lParam) = 0;
};
