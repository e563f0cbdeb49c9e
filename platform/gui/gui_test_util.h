// Test helpers: a fixture that puts a fresh scripted backend in force, and a browse source over
// a vector of rows.
#pragma once

#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "backend.h"
#include "control.h"
#include "dialog_run.h"
#include "hot_keys.h"
#include "runtime/keys.h"
#include "runtime/variables.h"
#include "scripted_backend.h"

namespace gui {

inline ReadGuiOptions options(int buttons, std::string title = {}, rt::Value parent = {}) {
  ReadGuiOptions o;
  o.buttons = buttons;
  o.title = std::move(title);
  o.parent = std::move(parent);
  return o;
}

class ScriptedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    script_ = std::make_shared<ScriptedBackend>();
    previous_ = setBackend(script_);
    rt::keyboardClear();
    rt::sessionClearForTest();
    setKeyActive(false);
  }
  void TearDown() override {
    setBackend(previous_);
    if (!problemsExpected_) {
      for (const std::string& p : script_->problems()) ADD_FAILURE() << "script problem: " << p;
    }
  }
  ScriptedBackend& script() { return *script_; }
  void expectProblems() { problemsExpected_ = true; }
  std::string logText() const {
    std::string s;
    for (const std::string& l : script_->log()) s += l + "\n";
    return s;
  }

  std::shared_ptr<ScriptedBackend> script_;

 private:
  std::shared_ptr<Backend> previous_;
  bool problemsExpected_ = false;
};

// Rows 0..n-1; the cell of column c in row r is "r<r>c<c>". It records the threads it ran on.
class VectorSource : public BrowseSource {
 public:
  explicit VectorSource(long rows) : rows_(rows) {}
  bool goTop() override {
    threads_.push_back(std::this_thread::get_id());
    pos_ = 0;
    return rows_ > 0;
  }
  long skip(long n) override {
    threads_.push_back(std::this_thread::get_id());
    const long target = std::clamp(pos_ + n, 0L, std::max(0L, rows_ - 1));
    const long moved = target - pos_;
    pos_ = target;
    return moved;
  }
  long pos() const { return pos_; }
  const std::vector<std::thread::id>& threads() const { return threads_; }

 private:
  long rows_;
  long pos_ = 0;
  std::vector<std::thread::id> threads_;
};

}  // namespace gui
