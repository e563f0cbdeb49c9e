// The message boxes and the wait window of the Qt backend.
//
// MessageDialog shows a MessageSpec: the lines under the title, an optional colour band (the
// alert's colour code), the text in the alert colours and fonts, and one button per caption;
// the first button is the default (Enter). It finishes with the 1-based button pressed, 0 when
// closed (close box, Escape, the message's own timeout), or kAnswerCancelled when the program
// closes.
//
// Thread safety: GUI thread only.
#pragma once

#include <QDialog>

#include "gui/backend.h"

class QLabel;

namespace gui::qt {

class MessageDialog : public QDialog {
 public:
  MessageDialog(const MessageSpec& spec, QWidget* parent);
};

// A small window with a text and a busy bar, over the application window; it never takes
// input.
class WaitDialog : public QDialog {
 public:
  WaitDialog(const QString& text, QWidget* parent);
};

}  // namespace gui::qt
