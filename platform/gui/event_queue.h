// EventQueue: the events of one running dialog, from the GUI to the dialog's thread.
//
// The GUI thread (or the scripted backend) pushes; the dialog's thread takes them one by one in
// its run loop. A notifier, when set, is called after each push: a backend whose dialog runs on
// the GUI thread itself uses it to wake the GUI event loop that the run loop pumps.
//
// Thread safety: every member may be called from any thread.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>

#include "dialog_desc.h"

namespace gui {

class EventQueue {
 public:
  void push(Event e);
  std::optional<Event> tryPop();
  // Blocks the calling thread until an event is there.
  Event waitPop();
  bool empty() const;
  void setNotifier(std::function<void()> notify);

 private:
  mutable std::mutex mu_;
  std::condition_variable cv_;
  std::deque<Event> events_;
  std::function<void()> notify_;
};

}  // namespace gui
