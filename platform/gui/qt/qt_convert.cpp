#include "qt_convert.h"

#include <QKeyEvent>

#include "gui/colors.h"
#include "gui/font_spec.h"
#include "gui/hot_keys.h"
#include "gui/text_codec.h"

namespace gui::qt {

QString qs(std::string_view text) {
  const std::string utf8 = toUtf8(text);
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string bytes(const QString& s) {
  const QByteArray utf8 = s.toUtf8();
  return fromUtf8(std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())));
}

QFont fontFrom(std::string_view spec, const QFont& base) {
  QFont f = base;
  if (spec.empty()) return f;
  const FontSpec s = parseFont(spec);
  if (!s.family.empty()) f.setFamilies({qs(s.family)});
  if (s.points > 0) f.setPointSizeF(s.points);
  f.setWeight(s.bold ? QFont::Bold : QFont::Normal);
  f.setItalic(s.italic);
  f.setUnderline(s.underline);
  f.setStrikeOut(s.strikeOut);
  return f;
}

std::optional<QColor> colour(std::optional<int> code) {
  if (!code) return std::nullopt;
  const std::optional<Rgb> rgb = paletteColour(*code);
  if (!rgb) return std::nullopt;
  return QColor(rgb->r, rgb->g, rgb->b);
}

QString caption(std::string_view text) {
  if (text.find('~') == std::string_view::npos) return qs(text);
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&') {
      out += "&&";
    } else if (text[i] == '~' && i + 1 < text.size()) {
      out += '&';
    } else {
      out += text[i];
    }
  }
  return qs(out);
}

int keyCodeOf(const QKeyEvent* e) {
  const Qt::KeyboardModifiers mods =
      e->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
  KeyModifier m = KeyModifier::kNone;
  if (mods == Qt::ShiftModifier) m = KeyModifier::kShift;
  if (mods == Qt::ControlModifier) m = KeyModifier::kCtrl;
  if (mods == Qt::AltModifier) m = KeyModifier::kAlt;
  const bool single = mods == Qt::NoModifier || m != KeyModifier::kNone;
  if (!single) return 0;
  const int key = e->key();
  if (key >= Qt::Key_F1 && key <= Qt::Key_F12) return functionKeyCode(key - Qt::Key_F1 + 1, m);
  if (key >= Qt::Key_A && key <= Qt::Key_Z) {
    return letterKeyCode(static_cast<char>('A' + (key - Qt::Key_A)), m);
  }
  if (key >= Qt::Key_0 && key <= Qt::Key_9) return digitKeyCode(key - Qt::Key_0, m);
  return 0;
}

}  // namespace gui::qt
