// Line breaks, fonts, pictures, value texts, code page, colours and key codes.
#include <gtest/gtest.h>

#include "colors.h"
#include "font_spec.h"
#include "hot_keys.h"
#include "runtime/dates.h"
#include "runtime/keys.h"
#include "text_codec.h"
#include "text_lines.h"

namespace gui {
namespace {

using rt::Value;

TEST(Text, SemicolonsBreakLines) {
  struct Case {
    const char* text;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"", {""}},
      {"one", {"one"}},
      {"Unable to continue.  ;File Name: X ; ", {"Unable to continue.  ", "File Name: X ", " "}},
      {"a;;b;", {"a", "", "b", ""}},
  };
  for (const Case& c : cases) EXPECT_EQ(splitLines(c.text), c.lines) << c.text;
  EXPECT_EQ(toolTipText("Print this job;then redisplay"), "Print this job\nthen redisplay");
}

TEST(Text, FontNamesGiveSizeFaceAndStyle) {
  struct Case {
    const char* text;
    double points;
    const char* family;
    bool bold, italic;
  };
  constexpr Case cases[] = {
      {"10.Arial Bold", 10, "Arial", true, false},
      {"9.Arial", 9, "Arial", false, false},
      {"11.Lucida Console Bold", 11, "Lucida Console", true, false},
      {"8.Arial Bold Italic", 8, "Arial", true, true},
      {"8.arial italic bold", 8, "arial", true, true},
      {"Arial Bold", 0, "Arial", true, false},
      {"", 0, "", false, false},
      {"x.Arial", 0, "x.Arial", false, false},
      {"12.Courier New", 12, "Courier New", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const FontSpec f = parseFont(c.text);
    EXPECT_EQ(f.points, c.points);
    EXPECT_EQ(f.family, c.family);
    EXPECT_EQ(f.bold, c.bold);
    EXPECT_EQ(f.italic, c.italic);
  }
}

TEST(Text, PicturesGiveTheScrollWidth) {
  EXPECT_EQ(pictureScrollWidth("@S50"), 50);
  EXPECT_EQ(pictureScrollWidth("@!S20 XXXX"), 20);
  EXPECT_EQ(pictureScrollWidth("@!"), 0);
  EXPECT_EQ(pictureScrollWidth("999"), 0);
  EXPECT_EQ(pictureScrollWidth("XXX S9"), 0);
}

TEST(Text, EditedTextsBecomeValuesOfTheFieldsKind) {
  rt::setDateFormat("mm/dd/yyyy");
  struct Case {
    const char* text;
    Value previous;
    Value expected;
  };
  const Case cases[] = {
      {"abc", Value("     "), Value("abc  ")},
      {"abcdef", Value("abc"), Value("abcdef")},
      {"", Value("   "), Value("   ")},
      {" 42 ", Value(1), Value(42)},
      {"", Value(1), Value(0)},
      {"4x", Value(7), Value(7)},
      {"T", Value(false), Value(true)},
      {".y.", Value(false), Value(true)},
      {"F", Value(true), Value(false)},
      {"03/07/2016", Value(rt::Date{}), Value(rt::Date::fromYmd(2016, 3, 7))},
      {"garbage", Value(rt::Date::fromYmd(2016, 3, 7)), Value(rt::Date{})},
      {"x", Value(), Value("x")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_TRUE(rt::valuesEqual(valueFromText(c.text, c.previous), c.expected, true))
        << valueFromText(c.text, c.previous).debugString();
  }
  EXPECT_EQ(displayText(Value(3.5)), "3.5");
  EXPECT_EQ(displayText(Value(true)), "T");
  EXPECT_EQ(displayText(Value(rt::Date::fromYmd(1999, 12, 31))), "12/31/1999");
}

TEST(Text, TheCodePageIsConvertedAtTheBorderOfTheGui) {
  ASSERT_EQ(textCodePage(), "CP1252");
  EXPECT_EQ(toUtf8("Caf\xE9 \x80"), "Caf\xC3\xA9 \xE2\x82\xAC");
  EXPECT_EQ(fromUtf8("Caf\xC3\xA9 \xE2\x82\xAC"), "Caf\xE9 \x80");
  // A character the code page cannot hold becomes "?", and the rest survives.
  EXPECT_EQ(fromUtf8("a\xE4\xB8\xAD"
                     "b"),
            "a?b");
  EXPECT_EQ(fromUtf8("a\xFF"
                     "b"),
            "a?b");
  EXPECT_FALSE(setTextCodePage("NO-SUCH-CODEPAGE"));
  ASSERT_TRUE(setTextCodePage("CP437"));
  EXPECT_EQ(toUtf8("\x82"), "\xC3\xA9");
  ASSERT_TRUE(setTextCodePage("CP1252"));
}

TEST(Text, ColourCodesAndLists) {
  EXPECT_EQ(paletteColour(0), (Rgb{255, 255, 255}));
  EXPECT_EQ(paletteColour(1), (Rgb{0, 0, 0}));
  EXPECT_FALSE(paletteColour(16).has_value());
  EXPECT_FALSE(paletteColour(-1).has_value());
  const ColourPair p = colourPair(Value::array({Value(7), Value(3)}));
  EXPECT_EQ(p.foreground, 7);
  EXPECT_EQ(p.background, 3);
  const ColourPair q = colourPair(Value::array({Value(), Value(2.5)}));
  EXPECT_FALSE(q.foreground.has_value());
  EXPECT_FALSE(q.background.has_value());
  EXPECT_FALSE(colourPair(Value("{7,3}")).foreground.has_value());
}

TEST(Text, KeyCodes) {
  struct Case {
    int code;
    int expected;
  };
  const Case cases[] = {
      {functionKeyCode(1, KeyModifier::kNone), rt::kKeyF1},
      {functionKeyCode(10, KeyModifier::kNone), rt::kKeyF10},
      {functionKeyCode(2, KeyModifier::kNone), -1},
      {functionKeyCode(12, KeyModifier::kNone), -41},
      {functionKeyCode(1, KeyModifier::kShift), -10},
      {functionKeyCode(10, KeyModifier::kAlt), -39},
      {functionKeyCode(12, KeyModifier::kAlt), -47},
      {functionKeyCode(13, KeyModifier::kNone), 0},
      {letterKeyCode('p', KeyModifier::kAlt), rt::kKeyAltP},
      {letterKeyCode('A', KeyModifier::kAlt), 286},
      {letterKeyCode('W', KeyModifier::kCtrl), rt::kKeyCtrlW},
      {letterKeyCode('x', KeyModifier::kNone), 0},
      {digitKeyCode(0, KeyModifier::kAlt), 376},
      {keyCodeFromKeyEvent(65648), rt::kKeyF1},
      {keyCodeFromKeyEvent(65649), -1},
      {keyCodeFromKeyEvent(65), 0},
  };
  for (const Case& c : cases) EXPECT_EQ(c.code, c.expected);
  const auto codes = hotKeyCodes();
  EXPECT_EQ(codes.size(), 48u + 52u + 10u);
  for (int code : {rt::kKeyF1, rt::kKeyF10, rt::kKeyAltP}) {
    EXPECT_NE(std::find(codes.begin(), codes.end(), code), codes.end()) << code;
  }
}

}  // namespace
}  // namespace gui
