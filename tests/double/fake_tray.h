#pragma once

#include "platform/tray.h"
#include "tests/double/fake_world.h"

// The notification area: one icon, which the shell may refuse for a while.
class FakeTray : public Tray {
 public:
  // The message the shell broadcasts when it restarted.
  static constexpr unsigned kTaskbarCreated = 0xC0DE;

  explicit FakeTray(FakeWorld& world) : m_world(world) {}
  bool Add(const TrayRecord& record) override;
  bool Modify(const TrayRecord& record) override;
  void Remove(const TrayRecord& record) override;
  bool ShowBalloon(const TrayRecord& record, const Balloon& balloon) override;
  std::optional<TrayEvent> Received(unsigned message, uintptr_t wParam, intptr_t lParam) override;

 private:
  void Record(const char* action, const TrayRecord& record);

  FakeWorld& m_world;
};
