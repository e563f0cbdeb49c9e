#include "thread_group.h"

#include <exception>

#include "backend.h"
#include "runtime/error.h"

namespace gui {

void ThreadGroup::start(std::function<void()> work) {
  auto done = std::make_shared<std::atomic<bool>>(false);
  std::thread t([work = std::move(work), done] {
    try {
      work();
    } catch (const rt::Break&) {
    } catch (const rt::ErrorException&) {
    } catch (const std::exception& ex) {
      rt::Error e;
      e.subsystem = "GUI";
      e.operation = "thread";
      e.description = ex.what();
      rt::defaultErrorProcessing(e);
    }
    done->store(true);
    backend()->wake();
  });
  std::lock_guard lock(mu_);
  reapFinished();
  threads_.push_back({std::move(t), std::move(done)});
}

size_t ThreadGroup::running() const {
  std::lock_guard lock(mu_);
  size_t n = 0;
  for (const Entry& e : threads_) n += e.done->load() ? 0 : 1;
  return n;
}

void ThreadGroup::reapFinished() {
  for (auto it = threads_.begin(); it != threads_.end();) {
    if (it->done->load()) {
      it->thread.join();
      it = threads_.erase(it);
    } else {
      ++it;
    }
  }
}

void ThreadGroup::joinAll() {
  backend()->pumpUntil([this] { return running() == 0; });
  std::vector<Entry> finished;
  {
    std::lock_guard lock(mu_);
    finished.swap(threads_);
  }
  for (Entry& e : finished) {
    if (e.thread.joinable()) e.thread.join();
  }
}

}  // namespace gui
