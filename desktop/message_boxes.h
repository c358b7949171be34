#pragma once

#include <QMessageBox>
#include <QObject>
#include <QString>

#include <memory>

class QLabel;
class QWidget;

namespace desktop {

enum class BoxIcon { None, Critical, Information, Exclamation };

// The detail text of a box that may change while the box is open (a wait
// that ends behind it): the window keeps it and sets the new text, and an
// open box shows that at once.
class BoxDetails : public QObject {
    Q_OBJECT
public:
    explicit BoxDetails(const QString &text = {}) : m_text(text) {}
    QString text() const { return m_text; }
    void setText(const QString &text);

signals:
    void changed(const QString &text);

private:
    QString m_text;
};

// Every message a window shows goes through this facade: a modal box with a
// single OK button. Tests replace it with a recorder instead of a real modal
// loop.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual void show(const QString &text, const QString &title, BoxIcon icon) = 0;
    // The same box with more detail below the message (a cause, a hint).
    virtual void showWithDetails(const QString &text, const QString &details, const QString &title,
                                 BoxIcon icon) = 0;
    // The same with details that follow `details` while the box is open.
    virtual void showWithChangingDetails(const QString &text, std::shared_ptr<BoxDetails> details,
                                         const QString &title, BoxIcon icon) = 0;
};

// The real boxes: QMessageBox, modal, parented to the active window.
class QtMessageBoxes final : public MessageBoxes {
public:
    void show(const QString &text, const QString &title, BoxIcon icon) override;
    void showWithDetails(const QString &text, const QString &details, const QString &title,
                         BoxIcon icon) override;
    void showWithChangingDetails(const QString &text, std::shared_ptr<BoxDetails> details, const QString &title,
                                 BoxIcon icon) override;
};

// The box QtMessageBoxes shows, not yet shown: `details` is its informative
// text. Ctrl+C (the platform's copy key) copies the message and the details
// as text, on every platform.
std::unique_ptr<QMessageBox> makeMessageBox(const QString &text, const QString &details,
                                            const QString &title, BoxIcon icon, QWidget *parent = nullptr);

// The width a word-wrapping label needs for its text: that of its longest
// line, so that no line is wrapped that fits in half the screen (640 px at
// most), else that limit. A wrapping label alone takes its longest word's.
int fittedTextWidth(const QLabel *label);

// Ending "at once": no further events, no unload handling. Code calls
// end() and then returns, so a test double may record the ending instead of
// leaving the process.
class ProgramEnd {
public:
    virtual ~ProgramEnd() = default;
    virtual void end(int exitCode = 0) = 0;
};

class ProcessProgramEnd final : public ProgramEnd {
public:
    void end(int exitCode = 0) override;
};

} // namespace desktop
