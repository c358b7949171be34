#pragma once

#include <QPlainTextEdit>
#include <QString>

namespace portcheck {

// A multi-line text box whose text property uses CR LF line breaks; the view
// shows each CR LF as one line break.
class TextBox final : public QPlainTextEdit {
public:
    using QPlainTextEdit::QPlainTextEdit;

    void setText(const QString &text) { setPlainText(QString(text).replace(QLatin1String("\r\n"), QLatin1String("\n"))); }
    QString text() const { return toPlainText().replace(QLatin1Char('\n'), QLatin1String("\r\n")); }
};

} // namespace portcheck
