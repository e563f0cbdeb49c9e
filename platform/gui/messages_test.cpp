#include "messages.h"

#include <gtest/gtest.h>
#include <thread>

#include "gui_test_util.h"
#include "hot_keys.h"
#include "runtime/routines.h"

namespace gui {
namespace {

using rt::Value;

class MessagesTest : public ScriptedTest {};

TEST_F(MessagesTest, AnAlertShowsItsLinesAndAnswersWithTheButtonPressed) {
  struct Case {
    std::vector<std::string> buttons;
    int scripted;  // -1: no answer in the script
    int result;
  };
  const Case cases[] = {
      {{}, 1, 1},
      {{}, -1, 1},  // closed: the only button
      {{"Retry", "Quit"}, 1, 1},
      {{"Retry", "Quit"}, 2, 2},
      {{"Retry", "Quit"}, 0, 2},  // closed: the last button
      {{"Retry", "Quit"}, -1, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.scripted);
    if (c.scripted >= 0) script().answer(c.scripted);
    EXPECT_EQ(guiAlert("Tag NAMEORDR is missing from APMSTRFL.CDX.;Program will be Terminated",
                       c.buttons, Value(14), "Error Warning", {"9.Arial Bold", "9.Arial Bold"}),
              c.result);
    const ShownMessage m = script().messages().back();
    EXPECT_EQ(m.kind, "alert");
    EXPECT_EQ(m.title, "Error Warning");
    EXPECT_EQ(m.lines, (std::vector<std::string>{"Tag NAMEORDR is missing from APMSTRFL.CDX.",
                                                 "Program will be Terminated"}));
    EXPECT_EQ(m.buttons, c.buttons.empty() ? std::vector<std::string>{"OK"} : c.buttons);
    EXPECT_EQ(m.textFont, "9.Arial Bold");
  }
}

TEST_F(MessagesTest, ThePlainMessageBoxAnswersZeroWhenClosed) {
  script().answer(1).answer(0);
  EXPECT_EQ(messageBox("Unknown error encountered!", "", {"Retry", "Quit"}), 1);
  EXPECT_EQ(messageBox("Unknown error encountered!", "", {"Retry", "Quit"}), 0);
  EXPECT_EQ(messageBox("Report has been sent;to: a@b.c"), 0);
  EXPECT_EQ(script().messages().back().lines,
            (std::vector<std::string>{"Report has been sent", "to: a@b.c"}));
  EXPECT_EQ(script().messages().back().kind, "messagebox");
}

TEST_F(MessagesTest, AMessageBoxClosesByItselfAfterItsWaitInSeconds) {
  msgBox(Value::array({Value("Print Job Completed")}), Value(5));
  msgBox(Value("Two;lines"));
  const auto m = script().messages();
  ASSERT_EQ(m.size(), 2u);
  EXPECT_EQ(m[0].kind, "msgbox");
  EXPECT_EQ(m[0].lines, std::vector<std::string>{"Print Job Completed"});
  EXPECT_EQ(m[0].timeoutSeconds, 5);
  EXPECT_EQ(m[1].lines, (std::vector<std::string>{"Two", "lines"}));
  EXPECT_EQ(m[1].timeoutSeconds, 0);
}

TEST_F(MessagesTest, TheStartUpAlertAndTheWindowAlert) {
  script().answer(1);
  EXPECT_EQ(alert("FOXCDX Database-Engine;Could not build engine", {"OK"}), 1);
  winAlert("Please Wait Until the PDF file notification is closed.");
  const auto m = script().messages();
  EXPECT_EQ(m[0].kind, "startalert");
  EXPECT_EQ(m[0].lines,
            (std::vector<std::string>{"FOXCDX Database-Engine", "Could not build engine"}));
  EXPECT_EQ(m[1].kind, "winalert");
  EXPECT_EQ(m[1].buttons, std::vector<std::string>{"OK"});
}

TEST_F(MessagesTest, WaitWindowsBelongToTheThreadThatOpenedThem) {
  registerRoutines();
  EXPECT_TRUE(dcDo("DC_WaitOnObject()").isNil());
  const Value handle = waitOn("Please Wait While Creating Email");
  ASSERT_TRUE(handle.isArray());
  EXPECT_EQ(handle.arr().at(1).text(), "Please Wait While Creating Email");
  std::thread([] { EXPECT_TRUE(waitOnObject().isNil()); }).join();

  // The table helpers close an open wait window through its name before an alert.
  const Value found = dcDo("DC_WaitOnObject()");
  ASSERT_TRUE(found.isArray());
  impl(found);
  EXPECT_TRUE(waitOnObject().isNil());
  impl(found);  // a second close does nothing
  impl(Value("not a handle"));
  const auto waits = script().waits();
  ASSERT_EQ(waits.size(), 1u);
  EXPECT_FALSE(waits[0].open);
}

TEST_F(MessagesTest, TheAlertByNameTakesTheLibrarysEightArguments) {
  registerRoutines();
  script().answer(2);
  rt::Args args{Value(),
                Value("Unable to continue.;File Name: STOPEN.DBF "),
                Value::array({Value("Retry"), Value("Quit")}),
                Value(14),
                Value("Error Warning"),
                Value(),
                Value(),
                Value::array({Value("9.Arial Bold"), Value("9.Arial Bold")})};
  EXPECT_EQ(rt::call("DC_GUIALERT", args).number(), 2);
  const ShownMessage m = script().messages().back();
  EXPECT_EQ(m.lines, (std::vector<std::string>{"Unable to continue.", "File Name: STOPEN.DBF "}));
  EXPECT_EQ(m.buttons, (std::vector<std::string>{"Retry", "Quit"}));
}

TEST_F(MessagesTest, AnAnswerForADialogIsNotTakenByAMessage) {
  script().confirm();
  EXPECT_EQ(guiAlert("x", {"A", "B"}), 2);
  EXPECT_EQ(script().answersLeft(), 1u);
}

}  // namespace
}  // namespace gui
