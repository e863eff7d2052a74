#pragma once

#include <string>

enum class BoxKind { kPlain, kWarning, kInformation };

// Message boxes, owned by the program's main window, with an OK button.
class Boxes {
 public:
  virtual ~Boxes() = default;
  // Shows the box and returns once the user closed it; an empty caption
  // means the program's title.
  virtual void Show(const std::string& text, const std::string& caption, BoxKind kind) = 0;
  // Asks a question of the window in front (a dialog, say) with Yes and No
  // buttons; true for Yes.
  virtual bool Ask(const std::string& text, const std::string& caption) = 0;
};
