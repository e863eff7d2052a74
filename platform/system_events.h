#pragma once

using WindowHandle = void*;

// What the system tells the program about the computer beside its messages:
// a resume from sleep arrives at the frame as a power broadcast by itself,
// changes of the network's addresses only when watched for.
class SystemEvents {
 public:
  virtual ~SystemEvents() = default;
  // Posts message to window whenever an address of this computer comes up;
  // false when the system refuses, which leaves everything else as it is.
  virtual bool WatchNetwork(WindowHandle window, unsigned message) = 0;
  // Returns once no further message can be posted.
  virtual void StopWatchingNetwork() = 0;
};
