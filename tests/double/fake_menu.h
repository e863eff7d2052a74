#pragma once

#include "platform/menu.h"
#include "tests/double/fake_world.h"

// Records the menu shown; the test sends the chosen command itself.
class FakeMenu : public Menu {
 public:
  explicit FakeMenu(FakeWorld& world) : m_world(world) {}
  void ShowAtPointer(WindowHandle, const std::vector<MenuItem>& items) override {
    m_world.events.push_back("foreground");
    m_world.events.push_back("menu");
    m_world.menuShown = items;
    ++m_world.menusShown;
  }

 private:
  FakeWorld& m_world;
};
