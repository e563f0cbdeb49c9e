#include "keys.h"

#include <gtest/gtest.h>

#include <thread>

#include "variables.h"

namespace rt {
namespace {

TEST(Keys, ReadExitKeysStoreTheCodeAndEndTheEntry) {
  struct Case {
    bool sessionDeclared;
    int key;
  };
  constexpr Case cases[] = {{true, kKeyF10}, {true, kKeyF1}, {false, kKeyF10}, {false, kKeyF1}};
  for (const auto& c : cases) {
    sessionClearForTest();
    keyboardClear();
    if (c.sessionDeclared) sessionDeclare("nLastKey", Value(0));
    bindReadExitKeys();
    {
      PrivateFrame running;
      ASSERT_TRUE(dispatchKey(c.key));
      EXPECT_EQ(var("NLASTKEY").number(), c.key);
      EXPECT_EQ(privateExists("nLastKey"), !c.sessionDeclared);
      EXPECT_EQ(keyboardNext(), kKeyCtrlW);
      EXPECT_FALSE(keyboardNext().has_value());
    }
    if (c.sessionDeclared) {
      EXPECT_EQ(sessionGet("nlastkey")->number(), c.key);
    }
  }
  sessionClearForTest();
}

TEST(Keys, BindingsAndBufferArePerThread) {
  setKey(kKeyAltP, Value::callable([](Args&) { return Value(); }));
  keyboardPut("ab");
  bool otherBound = true;
  bool otherHasKeys = true;
  std::thread t([&] {
    otherBound = keyBinding(kKeyAltP).isCallable();
    otherHasKeys = keyboardPeek().has_value();
  });
  t.join();
  EXPECT_FALSE(otherBound);
  EXPECT_FALSE(otherHasKeys);
  EXPECT_EQ(keyboardNext(), 'a');
  EXPECT_TRUE(setKey(kKeyAltP, Value()).isCallable());  // unbinding returns the old one
  EXPECT_FALSE(dispatchKey(kKeyAltP));
  keyboardClear();
}

}  // namespace
}  // namespace rt
