#include "tag_order.h"

#include <gtest/gtest.h>

#include "gui/gui_test_util.h"
#include "gui/messages.h"
#include "open_table.h"
#include "runtime/error.h"
#include "runtime/routines.h"
#include "test_drive.h"

namespace tables {
namespace {

using rt::Value;

class SetTagOrderTest : public gui::ScriptedTest {
 protected:
  void SetUp() override {
    gui::ScriptedTest::SetUp();
    registerTableRoutines();
    drive_.table("APMSTRFL.DBF", {{"NUMBER", 'C', 5, 0}, {"NAME", 'C', 30, 0}},
                 {{Value("00002"), Value("Beta")}, {Value("00001"), Value("Alpha")}},
                 {{"NAMEORDR", "UPPER(NAME)"}, {"APMSTRFL", "NUMBER"}});
    drive_.table("TAVOLOG.DBF", {{"NOTE", 'C', 10, 0}}, {{Value("x")}});
    openTable("APMSTRFL");
    addIndex("APMSTRFL.CDX");
  }
  void TearDown() override {
    (void)dbe::workspace::closeAll();
    dbe::workspace::select(1);
    gui::ScriptedTest::TearDown();
  }

  TestDrive drive_;
};

TEST_F(SetTagOrderTest, APresentTagInAnyCaseIsPutInControl) {
  for (const char* name : {"NAMEORDR", "nameordr", "NameOrdr", "APMSTRFL"}) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(SetTagOrder(name, "APMSTRFL.CDX"));
    EXPECT_TRUE(rt::textEqualsExact(dbe::workspace::area()->orderName(),
                                    std::string(name) == "APMSTRFL" ? "APMSTRFL" : "NAMEORDR"));
  }
  // The tag really drives navigation: vendor 00001 is the second record.
  ASSERT_TRUE(dbe::workspace::area()->goTop().isOk());
  EXPECT_EQ(dbe::workspace::area()->recNo(), 2u);
  EXPECT_TRUE(script().messages().empty());
}

TEST_F(SetTagOrderTest, AnEmptyNamePassesInNaturalOrder) {
  ASSERT_TRUE(SetTagOrder("NAMEORDR", "APMSTRFL.CDX"));
  EXPECT_TRUE(SetTagOrder("", "APMSTRFL.CDX"));
  EXPECT_EQ(dbe::workspace::area()->orderName(), "");
  EXPECT_TRUE(script().messages().empty());
}

TEST_F(SetTagOrderTest, AMissingTagAlertsClosesEveryTableSelectsAreaOneAndBreaks) {
  openTable("TAVOLOG", {}, 3);
  dbe::workspace::select(1);
  ASSERT_EQ(dbe::workspace::openCount(), 2);
  EXPECT_THROW(SetTagOrder("VENDNAME", "APMSTRFL.CDX"), rt::Break);
  EXPECT_EQ(dbe::workspace::openCount(), 0);
  EXPECT_EQ(dbe::workspace::selected(), 1);
  ASSERT_EQ(script().messages().size(), 1u);
  const gui::ShownMessage m = script().messages()[0];
  EXPECT_EQ(m.kind, "alert");
  EXPECT_EQ(m.title, "Error Warning");
  EXPECT_EQ(m.lines, (std::vector<std::string>{"Tag VENDNAME is missing from APMSTRFL.CDX.",
                                               "Program will be Terminated"}));
  EXPECT_EQ(m.buttons, std::vector<std::string>{"OK"});
  EXPECT_EQ(m.textFont, "9.Arial Bold");
}

TEST_F(SetTagOrderTest, AMissingTagInAnotherSelectedAreaStillEndsWithAreaOne) {
  openTable("TAVOLOG", {}, 5);  // selected: 5, a table without index
  EXPECT_THROW(SetTagOrder("NAMEORDR", "TAVOLOG.CDX"), rt::Break);
  EXPECT_EQ(dbe::workspace::openCount(), 0);
  EXPECT_EQ(dbe::workspace::selected(), 1);
}

TEST_F(SetTagOrderTest, AWaitWindowOpenBeforeIsClosedBeforeTheAlert) {
  gui::waitOn("Please Wait While Creating Email");
  EXPECT_THROW(SetTagOrder("NOSUCH", "APMSTRFL.CDX"), rt::Break);
  ASSERT_EQ(script().waits().size(), 1u);
  EXPECT_FALSE(script().waits()[0].open);
  const std::vector<std::string> log = script().log();
  size_t closed = log.size();
  size_t alert = log.size();
  for (size_t i = 0; i < log.size(); ++i) {
    if (log[i].rfind("wait closed", 0) == 0) closed = i;
    if (log[i].rfind("alert", 0) == 0) alert = i;
  }
  ASSERT_LT(closed, log.size()) << logText();
  ASSERT_LT(alert, log.size()) << logText();
  EXPECT_LT(closed, alert);
  // The wait window's handle lived in a dynamic variable of the routine only.
  EXPECT_FALSE(rt::varExists("aWaitOn"));
}

TEST_F(SetTagOrderTest, CalledByNameAsTheSuiteDoes) {
  EXPECT_TRUE(rt::callWith("SetTagOrder", "nameordr", "APMSTRFL.CDX").isTrue());
  EXPECT_THROW(rt::callWith("settagorder", "GONE", "APMSTRFL.CDX"), rt::Break);
  EXPECT_EQ(dbe::workspace::openCount(), 0);
}

TEST_F(SetTagOrderTest, WithNoTableOpenAMissingTagStillStops) {
  (void)dbe::workspace::closeAll();
  EXPECT_THROW(SetTagOrder("NAMEORDR", "APMSTRFL.CDX"), rt::Break);
  EXPECT_EQ(script().messages().size(), 1u);
}

}  // namespace
}  // namespace tables
