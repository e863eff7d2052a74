#pragma once

#include <memory>

#include "platform/autorun.h"
#include "platform/boxes.h"
#include "platform/charset_decoder.h"
#include "platform/clock.h"
#include "platform/credentials.h"
#include "platform/digest.h"
#include "platform/files.h"
#include "platform/listener.h"
#include "platform/menu.h"
#include "platform/network.h"
#include "platform/random.h"
#include "platform/shell.h"
#include "platform/single_instance.h"
#include "platform/sound.h"
#include "platform/system_events.h"
#include "platform/text_codec.h"
#include "platform/tray.h"
#include "platform/web.h"

// Everything the program asks of the system beside hosting it, each a
// service named for what it does. They are shared: a thread that still runs
// when the program ends keeps what it uses alive.
struct Services {
  std::shared_ptr<Tray> tray;
  std::shared_ptr<Menu> menu;
  std::shared_ptr<Boxes> boxes;
  std::shared_ptr<Sound> sound;
  std::shared_ptr<Files> files;
  std::shared_ptr<Autorun> autorun;
  std::shared_ptr<Credentials> credentials;
  std::shared_ptr<Shell> shell;
  std::shared_ptr<Clock> clock;
  std::shared_ptr<SingleInstance> copies;
  std::shared_ptr<SystemEvents> events;
  std::shared_ptr<const TextCodec> codec;
  std::shared_ptr<const CharsetDecoder> charsets;
  std::shared_ptr<Network> network;
  // For signing in: one HTTPS request, a loopback listener, random bytes, SHA-256.
  std::shared_ptr<Web> web;
  std::shared_ptr<Listener> listener;
  std::shared_ptr<Random> random;
  std::shared_ptr<Digest> digest;
};
