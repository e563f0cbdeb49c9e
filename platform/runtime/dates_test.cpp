#include "dates.h"

#include <gtest/gtest.h>

#include <thread>

namespace rt {
namespace {

class DatesTest : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = dateSettings(); }
  void TearDown() override { dateSettings() = saved_; }
  DateSettings saved_;
};

TEST_F(DatesTest, TextOfDatesUnderFormatAndCentury) {
  struct Case {
    const char* format;
    bool century;
    Date date;
    const char* text;
  };
  const Case cases[] = {
      {"mm/dd/yyyy", true, Date::fromYmd(1999, 12, 31), "12/31/1999"},
      {"mm/dd/yyyy", false, Date::fromYmd(1999, 12, 31), "12/31/99"},
      {"mm/dd/yy", false, Date::fromYmd(2016, 3, 7), "03/07/16"},
      {"mm/dd/yy", true, Date::fromYmd(2016, 3, 7), "03/07/2016"},
      {"dd.mm.yyyy", true, Date::fromYmd(2016, 3, 7), "07.03.2016"},
      {"yyyy-mm-dd", true, Date::fromYmd(2016, 3, 7), "2016-03-07"},
      {"mm/dd/yyyy", true, Date{}, "  /  /    "},
      {"mm/dd/yy", false, Date{}, "  /  /  "},
  };
  for (const auto& c : cases) {
    dateSettings().format = c.format;
    setCentury(c.century);
    EXPECT_EQ(dateToText(c.date), c.text) << c.format;
  }
}

TEST_F(DatesTest, SetDateFormatSwitchesCentury) {
  setDateFormat("mm/dd/yyyy");
  EXPECT_TRUE(dateSettings().century);
  setDateFormat("mm/dd/yy");
  EXPECT_FALSE(dateSettings().century);
}

TEST_F(DatesTest, TwoDigitYearsFollowTheWindow) {
  setDateFormat("mm/dd/yy");
  setEpoch(1920);
  struct Case {
    const char* text;
    int year;
  };
  constexpr Case cases[] = {{"01/01/19", 2019}, {"01/01/20", 1920}, {"01/01/99", 1999},
                            {"01/01/00", 2000}, {"01/01/2019", 2019}, {"01/01/1919", 1919}};
  for (const auto& c : cases) {
    int y, m, d;
    textToDate(c.text).toYmd(&y, &m, &d);
    EXPECT_EQ(y, c.year) << c.text;
  }
  setEpoch(1900);
  int y, m, d;
  textToDate("01/01/19").toYmd(&y, &m, &d);
  EXPECT_EQ(y, 1919);
}

TEST_F(DatesTest, InvalidOrBlankTextGivesEmptyDate) {
  setDateFormat("mm/dd/yyyy");
  for (const char* t : {"", "  /  /    ", "13/01/2016", "02/30/2016", "junk", "1/2"}) {
    EXPECT_TRUE(textToDate(t).isEmpty()) << t;
  }
}

TEST_F(DatesTest, DtosAndStod) {
  EXPECT_EQ(dtos(Date::fromYmd(2016, 3, 9)), "20160309");
  EXPECT_EQ(dtos(Date{}), "        ");
  EXPECT_EQ(stod("20160309"), Date::fromYmd(2016, 3, 9));
  EXPECT_TRUE(stod("        ").isEmpty());
  EXPECT_TRUE(stod("2016030").isEmpty());
  EXPECT_TRUE(stod("20161340").isEmpty());
}

TEST_F(DatesTest, SettingsArePerThread) {
  setDateFormat("dd.mm.yyyy");
  std::string otherThreadText;
  std::thread t([&] { otherThreadText = dateToText(Date::fromYmd(2016, 3, 7)); });
  t.join();
  EXPECT_EQ(otherThreadText, "03/07/16");  // a new thread starts with the defaults
  EXPECT_EQ(dateToText(Date::fromYmd(2016, 3, 7)), "07.03.2016");
}

}  // namespace
}  // namespace rt
