#include "message_dialog.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStringList>
#include <QTimer>
#include <QVBoxLayout>

#include "qt_convert.h"

namespace gui::qt {

MessageDialog::MessageDialog(const MessageSpec& spec, QWidget* parent) : QDialog(parent) {
  setObjectName("Message");
  setWindowTitle(qs(spec.title));
  setWindowModality(Qt::ApplicationModal);

  auto* body = new QHBoxLayout;
  body->setSpacing(12);
  if (const std::optional<QColor> accent = colour(spec.accent)) {
    auto* band = new QFrame(this);
    band->setObjectName("Accent");
    band->setFixedWidth(6);
    band->setAutoFillBackground(true);
    QPalette pal = band->palette();
    pal.setColor(QPalette::Window, *accent);
    band->setPalette(pal);
    body->addWidget(band);
  }
  QStringList lines;
  for (const std::string& line : spec.lines) lines << qs(line);
  auto* text = new QLabel(lines.join(QLatin1Char('\n')), this);
  text->setObjectName("Text");
  text->setTextFormat(Qt::PlainText);
  text->setTextInteractionFlags(Qt::TextSelectableByMouse);
  text->setMargin(6);
  if (!spec.textFont.empty()) text->setFont(fontFrom(spec.textFont, text->font()));
  const std::optional<QColor> fg = colour(spec.foreground);
  const std::optional<QColor> bg = colour(spec.background);
  if (fg || bg) {
    QPalette pal = text->palette();
    if (fg) pal.setColor(QPalette::WindowText, *fg);
    if (bg) pal.setColor(QPalette::Window, *bg);
    text->setPalette(pal);
    text->setAutoFillBackground(bg.has_value());
  }
  body->addWidget(text, 1);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  for (size_t i = 0; i < spec.buttons.size(); ++i) {
    auto* b = new QPushButton(caption(spec.buttons[i]), this);
    b->setObjectName(QStringLiteral("button%1").arg(i + 1));
    if (!spec.buttonFont.empty()) b->setFont(fontFrom(spec.buttonFont, b->font()));
    const int answer = static_cast<int>(i) + 1;
    connect(b, &QPushButton::clicked, this, [this, answer] { done(answer); });
    if (i == 0) {
      b->setDefault(true);
      b->setFocus();
    }
    buttons->addWidget(b);
  }
  buttons->addStretch();

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(body);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  if (spec.timeoutSeconds > 0) {
    QTimer::singleShot(static_cast<int>(spec.timeoutSeconds * 1000), this, [this] { done(0); });
  }
}

WaitDialog::WaitDialog(const QString& text, QWidget* parent) : QDialog(parent) {
  setObjectName("Wait");
  setWindowTitle(text);
  auto* layout = new QVBoxLayout(this);
  auto* label = new QLabel(text, this);
  label->setTextFormat(Qt::PlainText);
  label->setObjectName("Text");
  auto* bar = new QProgressBar(this);
  bar->setRange(0, 0);
  bar->setTextVisible(false);
  layout->addWidget(label);
  layout->addWidget(bar);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace gui::qt
