#include "event_queue.h"

namespace gui {

const char* eventKindName(Event::Kind kind) {
  switch (kind) {
    case Event::Kind::kButton:
      return "button";
    case Event::Kind::kPushButton:
      return "pushbutton";
    case Event::Kind::kPicked:
      return "picked";
    case Event::Kind::kToggled:
      return "toggled";
    case Event::Kind::kChosen:
      return "chosen";
    case Event::Kind::kFieldLeft:
      return "fieldleft";
    case Event::Kind::kClosed:
      return "closed";
    case Event::Kind::kCancelled:
      return "cancelled";
    case Event::Kind::kHotKey:
      return "hotkey";
    case Event::Kind::kBrowseFetch:
      return "browsefetch";
    case Event::Kind::kBrowseRow:
      return "browserow";
  }
  return "?";
}

void EventQueue::push(Event e) {
  std::function<void()> notify;
  {
    std::lock_guard lock(mu_);
    events_.push_back(std::move(e));
    notify = notify_;
  }
  cv_.notify_one();
  if (notify) notify();
}

std::optional<Event> EventQueue::tryPop() {
  std::lock_guard lock(mu_);
  if (events_.empty()) return std::nullopt;
  Event e = std::move(events_.front());
  events_.pop_front();
  return e;
}

Event EventQueue::waitPop() {
  std::unique_lock lock(mu_);
  cv_.wait(lock, [this] { return !events_.empty(); });
  Event e = std::move(events_.front());
  events_.pop_front();
  return e;
}

bool EventQueue::empty() const {
  std::lock_guard lock(mu_);
  return events_.empty();
}

void EventQueue::setNotifier(std::function<void()> notify) {
  std::lock_guard lock(mu_);
  notify_ = std::move(notify);
}

}  // namespace gui
