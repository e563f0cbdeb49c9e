// ThreadGroup: the threads a main window starts for its reports, and their joining while the GUI
// keeps running.
//
// start() runs a callable on a new std::thread and returns at once. The thread ends when the
// callable returns; a break or an error that leaves the callable ends the thread quietly (the
// error was reported by the thread's error handler), any other exception goes to the default
// error processing. joinAll() waits for every thread; called on the GUI thread it keeps the GUI
// running meanwhile, because a report thread may be waiting for an answer from it (a dialog
// being cancelled, a message answered at once while the program closes).
//
// Thread safety: start, running and joinAll may be called from any thread.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace gui {

class ThreadGroup {
 public:
  ThreadGroup() = default;
  ThreadGroup(const ThreadGroup&) = delete;
  ThreadGroup& operator=(const ThreadGroup&) = delete;
  ~ThreadGroup() { joinAll(); }

  void start(std::function<void()> work);
  // Threads started and not yet ended.
  size_t running() const;
  void joinAll();

 private:
  struct Entry {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };
  void reapFinished();  // REQUIRES mu_ held

  mutable std::mutex mu_;
  std::vector<Entry> threads_;
};

}  // namespace gui
