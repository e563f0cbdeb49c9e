// Conversions between the dialog library's plain data and Qt: texts (the code page of the
// system's texts, text_codec.h), fonts ("10.Arial Bold", font_spec.h), colour codes
// (colors.h), captions with access keys, and key events (runtime key codes, hot_keys.h).
//
// Thread safety: GUI thread (fonts and widgets); the text conversions are pure.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <QColor>
#include <QFont>
#include <QString>

class QKeyEvent;

namespace gui::qt {

QString qs(std::string_view bytes);   // the system's text for Qt
std::string bytes(const QString& s);  // an edited text back in the code page

// The font of a font name, starting from `base` (its size and face where the name gives none).
// The style words become the weight and slant: Qt takes "Arial Bold" for a face name and falls
// back to another face.
QFont fontFrom(std::string_view spec, const QFont& base);

std::optional<QColor> colour(std::optional<int> code);

// "~Yes" gives "&Yes" (a literal "&" then doubles); a caption without "~" is kept, so "&Test"
// keeps its access key.
QString caption(std::string_view text);

// The runtime key code of a key press, 0 when it has none.
int keyCodeOf(const QKeyEvent* e);

}  // namespace gui::qt
