#include "dialog_run.h"

#include <gtest/gtest.h>
#include <thread>

#include "gui_test_util.h"
#include "messages.h"
#include "runtime/error.h"
#include "text_lines.h"

namespace gui {
namespace {

using rt::Value;

class DialogRunTest : public ScriptedTest {};

// ---- the control list as shown ----

TEST_F(DialogRunTest, EveryControlKindIsShownWithItsPlaceCaptionAndValue) {
  rt::PrivateFrame frame;
  rt::privateDeclare("cAddress", Value(std::string(100, ' ')));
  rt::privateDeclare("cStyp", Value("Vendor Number"));
  rt::privateDeclare("lActive", Value(true));
  rt::privateDeclare("nMode", Value(2));
  rt::privateDeclare("cMemo", Value("line 1\r\nline 2"));
  rt::privateDeclare("cFile", Value("OUT.TXT   "));

  GetList list;
  list.addText({0, 0}, "Select Output Mode", {65, 0}).withFont("11.Arial Bold");
  list.addStaticLine({1, 0}, {65, 0.1});
  list.addGroupBox("oPrintModeGroup", {2, 0}, {65, 4.5}, "Print Mode");
  list.addRadioButton({1, 2}, getAnchorCB("nMode"), Value(1), "Normal Preview")
      .inGroup("oPrintModeGroup")
      .withToolTip("Preview with built-in Preview Window");
  list.addRadioButton({2, 2}, getAnchorCB("nMode"), Value(2), "Preview w/Acrobat")
      .inGroup("oPrintModeGroup")
      .withToolTip("Preview with Acrobat Reader;Requires a PDF driver");
  list.addText({2.5, 2}, "Output File").inGroup("oPrintModeGroup");
  list.addGet(Position::after(), getAnchorCB("cFile"), 45).inGroup("oPrintModeGroup");
  list.addGet({8, 2}, getAnchorCB("cAddress")).withPicture("@S50").withId("cAddress");
  list.addComboBox({9, 2}, getAnchorCB("cStyp"),
                   Value::array({Value("Alphabetical        "), Value("Vendor Number       ")}),
                   {20, 3})
      .withId("cStyp");
  list.addCheckBox({10, 2}, getAnchorCB("lActive")).withId("activeonly");
  list.addMultiLineEdit({11, 2}, getAnchorCB("cMemo"), {60, 3}).withId("memo");
  list.addPushButton({15, 1}, {9, 1.2}, "Exit", Value()).withId("exit");
  list.addBrowse({16, 0}, {80, 10}, std::make_shared<VectorSource>(3),
                 {{"Date", 9, Value::callable([](rt::Args&) { return Value("x"); }), Value()}})
      .withId("oBrowse");
  script().close();
  EXPECT_FALSE(readGui(list, options(kButtonsOkCancel, "Printer Options")));

  const auto dialogs = script().dialogs();
  ASSERT_EQ(dialogs.size(), 1u);
  const ShownDialog& d = dialogs[0];
  EXPECT_EQ(d.title, "Printer Options");
  EXPECT_FALSE(d.childWindow);
  EXPECT_EQ(d.buttons, (std::vector<std::string>{"OK", "Cancel"}));
  EXPECT_EQ(d.buttonIds, (std::vector<std::string>{"DCGUI_BUTTON_OK", "DCGUI_BUTTON_CANCEL"}));

  struct Expect {
    const char* name;
    const char* kind;
    double row, col;
    const char* parent;
    const char* text;
    bool checked;
    int index;
  };
  const Expect expected[] = {
      {"#1", "text", 0, 0, "", "Select Output Mode", false, -1},
      {"#2", "line", 1, 0, "", "", false, -1},
      {"oPrintModeGroup", "group", 2, 0, "", "", false, -1},
      {"Normal Preview", "radio", 1, 2, "oPrintModeGroup", "", false, -1},
      {"Preview w/Acrobat", "radio", 2, 2, "oPrintModeGroup", "", true, -1},
      // Placed after the label: its row, its column plus the label's 11 characters and a gap.
      {"#7", "get", 2.5, 14, "oPrintModeGroup", "OUT.TXT", false, -1},
      {"cAddress", "get", 8, 2, "", "", false, -1},
      {"cStyp", "combobox", 9, 2, "", "", false, 1},
      {"activeonly", "checkbox", 10, 2, "", "", true, -1},
      {"memo", "memo", 11, 2, "", "line 1\nline 2", false, -1},
      {"exit", "button", 15, 1, "", "", false, -1},
      {"oBrowse", "browse", 16, 0, "", "", false, -1},
  };
  for (const Expect& e : expected) {
    SCOPED_TRACE(e.name);
    const ShownControl* c = d.control(e.name);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->kind, e.kind);
    EXPECT_EQ(c->row, e.row);
    EXPECT_EQ(c->col, e.col);
    EXPECT_EQ(c->parent, e.parent);
    EXPECT_EQ(c->state.text, e.text);
    EXPECT_EQ(c->state.checked, e.checked);
    EXPECT_EQ(c->state.index, e.index);
    EXPECT_TRUE(c->state.enabled);
    EXPECT_FALSE(c->state.hidden);
  }
  EXPECT_EQ(d.control("#1")->font, "11.Arial Bold");
  EXPECT_EQ(d.control("Preview w/Acrobat")->toolTip,
            "Preview with Acrobat Reader\nRequires a PDF driver");
  // "@S50": fifty characters shown over the hundred-character buffer.
  EXPECT_EQ(d.control("cAddress")->displayWidth, 50);
  EXPECT_EQ(d.control("cAddress")->state.maxLength, 100);
  EXPECT_EQ(d.control("cStyp")->state.items.size(), 2u);
  EXPECT_EQ(d.control("oBrowse")->rows.size(), 3u);
  EXPECT_TRUE(d.control("oBrowse")->atEnd);
  EXPECT_FALSE(d.open);
}

// ---- values written back ----

TEST_F(DialogRunTest, BoundValuesAreWrittenToThePrivatesOfTheCallingThread) {
  rt::sessionDeclare("qcomp", Value("01"));
  rt::PrivateFrame frame;
  rt::privateDeclare("VDSECCD", Value(std::string(20, ' ')));
  rt::privateDeclare("nCopies", Value(1));
  rt::privateDeclare("activeonly", Value(true));
  rt::privateDeclare("nMode", Value(1));
  Value slot4 = Value(false);
  Value slotAccess = Value::callable([&slot4](rt::Args& a) {
    if (!a.empty()) slot4 = a[0];
    return slot4;
  });

  GetList list;
  list.addGet({1, 1}, getAnchorCB("VDSECCD")).withId("VDSECCD").asPassword();
  list.addGet({2, 1}, getAnchorCB("nCopies")).withId("nCopies");
  list.addGet({3, 1}, getAnchorCB("qcomp")).withId("qcomp");
  list.addCheckBox({4, 1}, getAnchorCB("activeonly")).withId("activeonly");
  list.addRadioButton({5, 1}, getAnchorCB("nMode"), Value(1), "One");
  list.addRadioButton({5, 10}, getAnchorCB("nMode"), Value(5), "Five");
  list.addRadioButton({6, 1}, Binding::accessor(slotAccess), Value(true), "Text");
  list.addRadioButton({6, 10}, Binding::accessor(slotAccess), Value(false), "PDF");
  script()
      .set("VDSECCD", "abc")
      .set("nCopies", "3")
      .set("qcomp", "07")
      .check("activeonly", false)
      .choose("Five")
      .choose("Text")
      .confirm();
  EXPECT_TRUE(readGui(list, options(kButtonsOkCancel)));

  EXPECT_EQ(rt::var("VDSECCD").text(), "abc" + std::string(17, ' '));
  EXPECT_EQ(rt::var("nCopies").number(), 3);
  EXPECT_FALSE(rt::var("activeonly").logical());
  EXPECT_EQ(rt::var("nMode").number(), 5);
  EXPECT_TRUE(slot4.isTrue());
  // A session-wide variable of that name is assigned; no private hides it.
  EXPECT_FALSE(rt::privateExists("qcomp"));
  EXPECT_EQ(rt::sessionGet("qcomp")->text(), "07");

  const ShownDialog d = script().dialogs().at(0);
  EXPECT_TRUE(d.control("VDSECCD")->password);
  EXPECT_FALSE(d.control("One")->state.checked);
  EXPECT_TRUE(d.control("Five")->state.checked);
  EXPECT_FALSE(d.control("PDF")->state.checked);
}

TEST_F(DialogRunTest, OtherThreadsSeeNothingOfAThreadsPrivates) {
  rt::PrivateFrame frame;
  rt::privateDeclare("cName", Value("main      "));
  std::thread t([this] {
    rt::PrivateFrame own;
    rt::privateDeclare("cName", Value("report    "));
    GetList list;
    list.addGet({1, 1}, getAnchorCB("cName")).withId("cName");
    script().set("cName", "changed").confirm();
    EXPECT_TRUE(readGui(list, options(kButtonsOk)));
    EXPECT_EQ(rt::var("cName").text(), "changed   ");
  });
  t.join();
  EXPECT_EQ(rt::var("cName").text(), "main      ");
}

TEST_F(DialogRunTest, CancelKeepsWhatWasWrittenAndDropsWhatIsStillBeingTyped) {
  struct Case {
    const char* name;
    void (*finish)(ScriptedBackend&);
  };
  const Case cases[] = {
      {"cancel button", [](ScriptedBackend& s) { s.cancel(); }},
      {"close box", [](ScriptedBackend& s) { s.close(); }},
      {"script ends", [](ScriptedBackend&) {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    rt::PrivateFrame frame;
    rt::privateDeclare("cLeft", Value("     "));
    rt::privateDeclare("cTyping", Value("     "));
    GetList list;
    list.addGet({1, 1}, getAnchorCB("cLeft")).withId("cLeft");
    list.addGet({2, 1}, getAnchorCB("cTyping")).withId("cTyping");
    script().set("cLeft", "left").type("cTyping", "typed");
    c.finish(script());
    EXPECT_FALSE(readGui(list, options(kButtonsOkCancel)));
    EXPECT_EQ(rt::var("cLeft").text(), "left ");
    EXPECT_EQ(rt::var("cTyping").text(), "     ");
  }
}

// ---- ending the dialog from an action ----

TEST_F(DialogRunTest, ReadGuiEventFromAnActionEndsTheDialog) {
  struct Case {
    const char* button;
    int event;
    bool result;
    int nExit;
  };
  constexpr Case cases[] = {
      {"Print and Exit", kEventConfirm, true, 1},
      {"Print and Loop", kEventConfirm, true, 2},
      {"Cancel", kEventCancel, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.button);
    rt::PrivateFrame frame;
    rt::privateDeclare("nExit", Value(0));
    GetList list;
    auto exitWith = [](int code, int event) {
      return action([code, event] {
        rt::varSet("nExit", Value(code));
        readGuiEvent(event);
      });
    };
    list.addPushButton({23, 1}, {15, 1.2}, "Print and Exit", exitWith(1, kEventConfirm))
        .withId(std::string(kButtonOkId));
    list.addPushButton({23, 20}, {15, 1.2}, "Print and Loop", exitWith(2, kEventConfirm));
    list.addPushButton({23, 39}, {15, 1.2}, "Cancel", exitWith(0, kEventCancel));
    script().press(c.button);
    EXPECT_EQ(readGui(list, options(kButtonsNone, "Printer Options")), c.result);
    EXPECT_EQ(rt::var("nExit").number(), c.nExit);
  }
  // Without a button row, the push button with the OK identity is what "confirm" presses.
  rt::PrivateFrame frame;
  rt::privateDeclare("nExit", Value(0));
  GetList list;
  list.addPushButton({23, 1}, {15, 1.2}, "Print and Exit", action([] {
                       rt::varSet("nExit", Value(1));
                       readGuiEvent(kEventConfirm);
                     }))
      .withId(std::string(kButtonOkId));
  script().confirm();
  EXPECT_TRUE(readGui(list, {}));
  EXPECT_EQ(rt::var("nExit").number(), 1);
}

TEST_F(DialogRunTest, CustomButtonsCarryTheirIdentitiesAndTheInitialFocus) {
  for (int choice : {1, 2}) {
    SCOPED_TRACE(choice);
    GetList list;
    list.addText({1, 1}, "Delete the vendor?", {60, 1.2}).withFont("11.Arial Bold");
    ReadGuiOptions opt;
    opt.title = "Question";
    opt.customButtons = {{"~Yes", action([] { readGuiEvent(kEventConfirm); }), 70, 22, {}},
                         {"~No", action([] { readGuiEvent(kEventCancel); }), 70, 22, {}}};
    opt.focus = choice == 1 ? "DCGUI_BUTTON_CUSTOM_1" : "DCGUI_BUTTON_CUSTOM_2";
    script().inspect([&](const ShownDialog& d) { EXPECT_EQ(d.focus, opt.focus); });
    script().press(choice == 1 ? "Yes" : "DCGUI_BUTTON_CUSTOM_2");
    EXPECT_EQ(readGui(list, opt), choice == 1);
    const ShownDialog d = script().dialogs().back();
    EXPECT_EQ(d.buttons, (std::vector<std::string>{"Yes", "No"}));
    EXPECT_EQ(d.buttonIds,
              (std::vector<std::string>{"DCGUI_BUTTON_CUSTOM_1", "DCGUI_BUTTON_CUSTOM_2"}));
  }
}

// ---- enabled and hidden rules ----

class OutputChooserTest : public DialogRunTest {
 protected:
  void build() {
    rt::privateDeclare("nMode", Value(1));
    rt::privateDeclare("lText", Value(true));
    rt::privateDeclare("cFile", Value(std::string(45, ' ')));
    rt::privateDeclare("noemail", Value(true));
    auto modeIs = [](std::initializer_list<int> modes) {
      std::vector<int> m(modes);
      return condition([m] {
        const double mode = rt::var("nMode").number();
        return std::find(m.begin(), m.end(), static_cast<int>(mode)) != m.end();
      });
    };
    list_.addGroupBox("oPrintModeGroup", {2, 0}, {65, 4.5}, "Print Mode");
    list_.addRadioButton({1, 2}, getAnchorCB("nMode"), Value(1), "Normal Preview")
        .inGroup("oPrintModeGroup");
    list_.addRadioButton({2, 2}, getAnchorCB("nMode"), Value(2), "Preview w/Acrobat")
        .inGroup("oPrintModeGroup")
        .onAction(action([this] {
          rt::varSet("lText", Value(false));
          getRefresh(list_);
        }));
    list_.addRadioButton({1, 47}, getAnchorCB("nMode"), Value(5), "Send to File")
        .inGroup("oPrintModeGroup");
    list_.addRadioButton({2, 47}, getAnchorCB("nMode"), Value(6), "Send by Email")
        .inGroup("oPrintModeGroup")
        .enableWhen(condition([] { return !rt::var("noemail").isTrue(); }));
    list_.addGroupBox("oFileFormatGroup", {7, 0}, {65, 4}, "File Format");
    list_.addRadioButton({1, 2}, getAnchorCB("lText"), Value(true), "Text (.TXT)")
        .inGroup("oFileFormatGroup")
        .enableWhen(modeIs({5, 6}));
    list_.addRadioButton({1, 22}, getAnchorCB("lText"), Value(false), "Acrobat (.PDF)")
        .inGroup("oFileFormatGroup")
        .enableWhen(modeIs({5, 6}));
    list_.addGet({2.5, 12}, getAnchorCB("cFile"))
        .inGroup("oFileFormatGroup")
        .withId("cFile")
        .enableWhen(modeIs({5, 8}));
    list_.addText({14, 2}, "Use ';' to Separate Email Addresses")
        .withId("hint")
        .hideWhen(condition([] { return rt::var("nMode").number() != 6; }));
  }
  GetList list_;
};

TEST_F(OutputChooserTest, EnabledAndHiddenStatesFollowEveryChoice) {
  rt::PrivateFrame frame;
  build();
  script()
      .inspect([](const ShownDialog& d) {
        EXPECT_FALSE(d.control("cFile")->state.enabled);
        EXPECT_FALSE(d.control("Text (.TXT)")->state.enabled);
        EXPECT_FALSE(d.control("Send by Email")->state.enabled);
        EXPECT_TRUE(d.control("hint")->state.hidden);
      })
      .choose("Send to File")
      .inspect([](const ShownDialog& d) {
        EXPECT_TRUE(d.control("cFile")->state.enabled);
        EXPECT_TRUE(d.control("Text (.TXT)")->state.enabled);
        EXPECT_TRUE(d.control("Acrobat (.PDF)")->state.enabled);
        EXPECT_TRUE(d.control("hint")->state.hidden);
      })
      .set("cFile", "VENDORS.TXT")
      .choose("Normal Preview")
      .confirm();
  EXPECT_TRUE(readGui(list_, options(kButtonsOkCancel, "Printer Options")));
  EXPECT_EQ(rt::var("nMode").number(), 1);
  EXPECT_EQ(rt::var("cFile").text(), "VENDORS.TXT" + std::string(34, ' '));
}

TEST_F(OutputChooserTest, ValuesAssignedByAnActionShowOnlyAfterARefresh) {
  rt::PrivateFrame frame;
  build();
  // "Send to File" assigns the format without a refresh: the radios keep showing the old one.
  list_.at(3).onAction(action([] { rt::varSet("lText", Value(false)); }));
  script()
      .choose("Send to File")
      .inspect([](const ShownDialog& d) {
        EXPECT_TRUE(d.control("Text (.TXT)")->state.checked);
        EXPECT_FALSE(d.control("Acrobat (.PDF)")->state.checked);
      })
      // "Preview w/Acrobat" assigns it and refreshes: now the PDF radio shows chosen, although
      // the format radios are disabled in that mode.
      .choose("Preview w/Acrobat")
      .inspect([](const ShownDialog& d) {
        EXPECT_FALSE(d.control("Text (.TXT)")->state.checked);
        EXPECT_TRUE(d.control("Acrobat (.PDF)")->state.checked);
        EXPECT_FALSE(d.control("Acrobat (.PDF)")->state.enabled);
      })
      .cancel();
  EXPECT_FALSE(readGui(list_, options(kButtonsOkCancel)));
  // What the actions wrote stays after a cancel.
  EXPECT_EQ(rt::var("nMode").number(), 2);
  EXPECT_FALSE(rt::var("lText").logical());
}

TEST_F(OutputChooserTest, AScriptedUserCannotUseADisabledOrHiddenControl) {
  expectProblems();
  rt::PrivateFrame frame;
  rt::privateDeclare("cHidden", Value("    "));
  build();
  list_.addGet({20, 2}, getAnchorCB("cHidden")).withId("cHidden").hideWhen(Value(true));
  script().set("cFile", "X.TXT").choose("Send by Email").set("cHidden", "x").confirm();
  EXPECT_TRUE(readGui(list_, options(kButtonsOkCancel)));
  EXPECT_EQ(rt::var("cFile").text(), std::string(45, ' '));
  EXPECT_EQ(rt::var("nMode").number(), 1);
  const auto problems = script().problems();
  ASSERT_EQ(problems.size(), 3u);
  EXPECT_NE(problems[0].find("disabled"), std::string::npos);
  EXPECT_NE(problems[2].find("hidden"), std::string::npos);
}

// ---- validation ----

TEST_F(DialogRunTest, AnEntryThatItsValidationRefusesKeepsTheDialogOpen) {
  rt::PrivateFrame frame;
  rt::privateDeclare("pWord", Value("secret    "));
  rt::privateDeclare("VDSECCD", Value(std::string(20, ' ')));
  GetList list;
  list.addText({2, 1}, "Password ");
  list.addGet(Position::after(), getAnchorCB("VDSECCD"), 20)
      .withId("VDSECCD")
      .asPassword()
      .validWhen(Value::callable([](rt::Args& a) {
        const std::string typed = a.at(0).text();
        const std::string stored = gui::trimRight(rt::var("pWord").text());
        const bool ok = rt::textEqualsNonExact(trimRight(typed), stored);
        if (!ok) guiAlert("Not a Valid Password", {}, Value(14), "Error Warning");
        return Value(ok);
      }));
  script()
      .set("VDSECCD", "Secret")
      .confirm()
      .answer(1)
      .inspect([](const ShownDialog& d) {
        EXPECT_TRUE(d.open);
        EXPECT_EQ(d.focus, "VDSECCD");
      })
      .set("VDSECCD", "secret!")
      .confirm();
  EXPECT_TRUE(readGui(list, options(kButtonsOkCancel)));
  const auto messages = script().messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].title, "Error Warning");
  EXPECT_EQ(messages[0].lines, std::vector<std::string>{"Not a Valid Password"});
}

TEST_F(DialogRunTest, ValidationDoesNotStopACancel) {
  rt::PrivateFrame frame;
  rt::privateDeclare("VDSECCD", Value(std::string(20, ' ')));
  int validations = 0;
  GetList list;
  list.addGet({2, 10}, getAnchorCB("VDSECCD"))
      .withId("VDSECCD")
      .validWhen(Value::callable([&validations](rt::Args&) {
        ++validations;
        return Value(false);
      }));
  script().set("VDSECCD", "wrong").cancel();
  EXPECT_FALSE(readGui(list, options(kButtonsOkCancel)));
  EXPECT_EQ(validations, 0);
  EXPECT_TRUE(script().messages().empty());
}

// ---- hot keys ----

TEST_F(DialogRunTest, AReadExitKeyEndsTheCurrentEntry) {
  for (int key : {rt::kKeyF10, rt::kKeyF1}) {
    SCOPED_TRACE(key);
    rt::keyboardClear();
    setKeyActive(true);
    rt::bindReadExitKeys();
    rt::PrivateFrame frame;
    rt::privateDeclare("cFirst", Value("     "));
    rt::privateDeclare("cSecond", Value("     "));
    GetList list;
    list.addGet({1, 1}, getAnchorCB("cFirst")).withId("cFirst");
    list.addGet({2, 1}, getAnchorCB("cSecond")).withId("cSecond");
    script()
        .type("cFirst", "abc")
        .key(key)
        .inspect([key](const ShownDialog& d) {
          // The typed value reached its variable and the focus moved on.
          EXPECT_EQ(rt::var("cFirst").text(), "abc  ");
          EXPECT_EQ(rt::var("nLastKey").number(), key);
          EXPECT_EQ(d.focus, "cSecond");
          EXPECT_FALSE(rt::keyboardPeek().has_value());
        })
        .cancel();
    EXPECT_FALSE(readGui(list, options(kButtonsOkCancel)));
    EXPECT_EQ(rt::var("cFirst").text(), "abc  ");
    // The private the key created lives in the frame of the running procedure.
    EXPECT_TRUE(rt::privateExists("nLastKey"));
    const auto keys = script().dialogs().back().hotKeys;
    EXPECT_NE(std::find(keys.begin(), keys.end(), key), keys.end());
  }
  rt::setKey(rt::kKeyF10, Value());
  rt::setKey(rt::kKeyF1, Value());
}

TEST_F(DialogRunTest, OnlyBoundKeysAreForwardedAndOnlyWhileHotKeysAreOn) {
  expectProblems();
  int presses = 0;
  rt::setKey(rt::kKeyAltP, action([&presses] { ++presses; }));
  for (bool active : {false, true}) {
    SCOPED_TRACE(active);
    setKeyActive(active);
    GetList list;
    list.addText({1, 1}, "x");
    script().key(rt::kKeyAltP).key(rt::kKeyF10).close();
    readGui(list, {});
  }
  rt::setKey(rt::kKeyAltP, Value());
  EXPECT_EQ(presses, 1);
  // Off: Alt+P is refused; on: F10 (not bound) is refused.
  EXPECT_EQ(script().problems().size(), 3u);
}

TEST_F(DialogRunTest, ThePopupKeyRunsTheFieldsPopupAction) {
  const int previous = setPopKey(65649);
  EXPECT_EQ(popKeyCode(), -1);  // F2
  rt::PrivateFrame frame;
  rt::privateDeclare("cCode", Value("   "));
  GetList list;
  list.addGet({1, 1}, getAnchorCB("cCode")).withId("cCode").onPopup(action([] {
    rt::varSet("cCode", Value("ABC"));
  }));
  list.addText({2, 1}, "no pop-up here").withId("label");
  script().focus("cCode").key(-1).cancel();
  EXPECT_FALSE(readGui(list, options(kButtonsCancel)));
  EXPECT_EQ(rt::var("cCode").text(), "ABC");
  setPopKey(previous);
}

// ---- drop-down lists ----

TEST_F(DialogRunTest, PickingAnEntryWritesItsTextAndRunsTheAction) {
  rt::PrivateFrame frame;
  rt::privateDeclare("aList",
                     Value::array({Value("Alphabetical        "), Value("Vendor Number       ")}));
  rt::privateDeclare("cList", Value::array({Value("A"), Value("B")}));
  rt::privateDeclare("cStyp", Value("Alphabetical"));
  rt::privateDeclare("CORRECT", Value("A"));
  GetList list;
  list.addText({1, 1}, "Select Order", {12, 0});
  list.addComboBox({1, 15}, getAnchorCB("cStyp"), rt::var("aList"), {20, 3})
      .withId("cStyp")
      .onAction(action([&list] {
        const rt::Array& entries = rt::var("aList").arr();
        for (size_t i = 0; i < entries.size(); ++i) {
          if (rt::textEqualsNonExact(entries[i].text(), rt::var("cStyp").text())) {
            rt::varSet("CORRECT", rt::var("cList").arr()[i]);
            break;
          }
        }
        getRefresh(list);
      }));
  script()
      .inspect([](const ShownDialog& d) { EXPECT_EQ(d.control("cStyp")->state.index, 0); })
      .pick("cStyp", 2)
      .inspect([](const ShownDialog&) { EXPECT_EQ(rt::var("CORRECT").text(), "B"); })
      .pick("cStyp", 1)
      .confirm();
  EXPECT_TRUE(readGui(list, options(kButtonsOkCancel, "Vendor Master File")));
  EXPECT_EQ(rt::var("cStyp").text(), "Alphabetical        ");
  EXPECT_EQ(rt::var("CORRECT").text(), "A");
}

TEST_F(DialogRunTest, PickingAnEntryThatDoesNotExistIsRefused) {
  expectProblems();
  rt::PrivateFrame frame;
  rt::privateDeclare("cStyp", Value("A"));
  GetList list;
  list.addComboBox({1, 1}, getAnchorCB("cStyp"), Value::array({Value("A"), Value("B")}))
      .withId("cStyp");
  script().pick("cStyp", 3).pick("cStyp", 0).confirm();
  EXPECT_TRUE(readGui(list, options(kButtonsOk)));
  EXPECT_EQ(rt::var("cStyp").text(), "A");
  EXPECT_EQ(script().problems().size(), 2u);
}

// ---- browses ----

TEST_F(DialogRunTest, ABrowseIsFetchedPageByPageOnTheDialogsThread) {
  auto source = std::make_shared<VectorSource>(120);
  const std::thread::id self = std::this_thread::get_id();
  long selected = -1;
  GetList list;
  list.addBrowse({1, 0}, {80, 10}, source,
                 {{"Row", 9, Value::callable([&source](rt::Args&) {
                     return Value("r" + std::to_string(source->pos()));
                   }),
                   Value::callable([&source](rt::Args&) {
                     return Value("row;" + std::to_string(source->pos()));
                   })}})
      .withId("oBrowse")
      .onAction(action([&] { selected = source->pos(); }));
  script()
      .inspect([](const ShownDialog& d) {
        EXPECT_EQ(d.control("oBrowse")->rows.size(), 50u);
        EXPECT_FALSE(d.control("oBrowse")->atEnd);
      })
      .scroll("oBrowse")
      .scroll("oBrowse")
      .selectRow("oBrowse", 75)
      .close();
  readGui(list, {});
  const ShownDialog d = script().dialogs().at(0);
  const ShownControl& b = *d.control("oBrowse");
  ASSERT_EQ(b.rows.size(), 120u);
  EXPECT_TRUE(b.atEnd);
  for (size_t r : {size_t{0}, size_t{49}, size_t{50}, size_t{119}}) {
    EXPECT_EQ(b.rows[r].at(0), "r" + std::to_string(r));
    EXPECT_EQ(b.rowToolTips[r].at(0), "row\n" + std::to_string(r));
  }
  EXPECT_EQ(selected, 75);
  for (const auto& id : source->threads()) EXPECT_EQ(id, self);
}

TEST_F(DialogRunTest, AnEmptyBrowseShowsNoRowsAndARefreshStartsAgain) {
  auto source = std::make_shared<VectorSource>(0);
  GetList list;
  list.addBrowse({1, 0}, {80, 10}, source, {{"Row", 9, Value(), Value()}}).withId("oBrowse");
  list.addPushButton({12, 1}, {9, 1.2}, "Refresh", action([&list] { getRefresh(list); }));
  script()
      .inspect([](const ShownDialog& d) {
        EXPECT_TRUE(d.control("oBrowse")->rows.empty());
        EXPECT_TRUE(d.control("oBrowse")->atEnd);
      })
      .press("Refresh")
      .close();
  readGui(list, {});
  EXPECT_TRUE(script().dialogs().at(0).control("oBrowse")->atEnd);
}

// ---- nesting, errors, closing ----

TEST_F(DialogRunTest, ADialogRunFromAnActionRefreshesItsCallerWhenItEnds) {
  rt::PrivateFrame frame;
  rt::privateDeclare("noemail", Value(true));
  rt::privateDeclare("eServer", Value(std::string(50, ' ')));
  GetList chooser;
  chooser.addRadioButton({1, 2}, getAnchorCB("nMode"), Value(6), "Send by Email")
      .enableWhen(condition([] { return !rt::var("noemail").isTrue(); }));
  chooser.addPushButton({3, 1}, {9, 1.2}, "Setup", action([&chooser] {
                          GetList editor;
                          editor.addGet({1, 16}, getAnchorCB("eServer")).withId("eServer");
                          if (readGui(editor, options(kButtonsOkCancel)))
                            rt::varSet("noemail", Value(false));
                          getRefresh(chooser);
                        }));
  script()
      .press("Setup")
      .set("eServer", "smtp.example.com")
      .confirm()
      .inspect([](const ShownDialog& d) {
        EXPECT_EQ(d.title, "Printer Options");
        EXPECT_TRUE(d.control("Send by Email")->state.enabled);
      })
      .cancel();
  rt::privateDeclare("nMode", Value(1));
  EXPECT_FALSE(readGui(chooser, options(kButtonsOkCancel, "Printer Options")));
  EXPECT_EQ(trimRight(rt::var("eServer").text()), "smtp.example.com");
  EXPECT_EQ(script().dialogs().size(), 2u);
}

TEST_F(DialogRunTest, ABreakInAnActionClosesTheDialogAndLeavesReadGui) {
  GetList list;
  list.addPushButton({1, 1}, {9, 1.2}, "Stop", action([] { throw rt::Break(Value("stop")); }));
  script().press("Stop");
  EXPECT_THROW(readGui(list, {}), rt::Break);
  EXPECT_FALSE(script().dialogs().at(0).open);
  EXPECT_EQ(list.running(), nullptr);
  // The list can run again.
  script().close();
  EXPECT_FALSE(readGui(list, {}));
}

TEST_F(DialogRunTest, TheProgramsClosingCancelsTheOpenDialogAndEveryLaterOne) {
  GetList list;
  list.addText({1, 1}, "x");
  script().inspect([this](const ShownDialog&) { script().cancelAll(); }).confirm();
  EXPECT_FALSE(readGui(list, options(kButtonsOkCancel)));
  EXPECT_EQ(script().answersLeft(), 1u);  // the confirm was never taken
  EXPECT_FALSE(readGui(list, options(kButtonsOkCancel)));
  EXPECT_EQ(script().dialogs().size(), 1u);
  // A retry loop ends: the alert answers with its last button (Quit).
  EXPECT_EQ(guiAlert("Unable to lock", {"Retry", "Quit"}), 2);
}

TEST_F(DialogRunTest, AListCannotRunTwiceAtOnceNorBeEmptiedWhileRunning) {
  GetList list;
  list.addPushButton({1, 1}, {9, 1.2}, "Again", action([&list] {
                       EXPECT_FALSE(readGui(list, {}));
                       list.clear();
                       EXPECT_EQ(list.size(), 1u);
                     }));
  script().press("Again").close();
  readGui(list, {});
  list.clear();
  EXPECT_TRUE(list.empty());
}

TEST(AConvert, TurnsTuplesIntoParallelLists) {
  const Value pairs = Value::array({Value::array({Value("Alphabetical"), Value("A")}),
                                    Value::array({Value("Vendor Number"), Value("B")}),
                                    Value::array({Value("Short")})});
  const Value lists = aConvert(pairs);
  ASSERT_EQ(lists.arr().size(), 2u);
  EXPECT_EQ(lists.arr()[0].arr()[1].text(), "Vendor Number");
  EXPECT_EQ(lists.arr()[1].arr()[0].text(), "A");
  EXPECT_TRUE(lists.arr()[1].arr()[2].isNil());
  EXPECT_TRUE(aConvert(Value("x")).arr().empty());
}

}  // namespace
}  // namespace gui
