#pragma once

#include "platform/boxes.h"
#include "tests/double/fake_world.h"

// Records each box, runs the test's nested loop while it is open, and is
// closed with OK.
class FakeBoxes : public Boxes {
 public:
  explicit FakeBoxes(FakeWorld& world) : m_world(world) {}
  void Show(const std::string& text, const std::string& caption, BoxKind kind) override {
    const MessageBoxCall call{text, caption.empty() ? "Tarvik" : caption, kind};
    m_world.boxes.push_back(call);
    m_world.events.push_back("box " + call.caption + "|" + text);
    if (m_world.whileMessageBox) m_world.whileMessageBox(call);
  }
  // Recorded as a box; answered as the world says, else No.
  bool Ask(const std::string& text, const std::string& caption) override {
    Show(text, caption, BoxKind::kPlain);
    return m_world.answerYes;
  }

 private:
  FakeWorld& m_world;
};
