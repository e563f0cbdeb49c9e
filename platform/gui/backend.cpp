#include "backend.h"

#include <mutex>

#include "scripted_backend.h"

namespace gui {

namespace {

std::mutex& slotMutex() {
  static std::mutex m;
  return m;
}
std::shared_ptr<Backend>& slot() {
  static std::shared_ptr<Backend> b;
  return b;
}

}  // namespace

std::shared_ptr<Backend> backend() {
  std::lock_guard lock(slotMutex());
  if (!slot()) slot() = std::make_shared<ScriptedBackend>();
  return slot();
}

std::shared_ptr<Backend> setBackend(std::shared_ptr<Backend> b) {
  std::lock_guard lock(slotMutex());
  std::shared_ptr<Backend> old = std::move(slot());
  slot() = std::move(b);
  return old;
}

}  // namespace gui
