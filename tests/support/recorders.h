#pragma once

#include "desktop/message_boxes.h"
#include "desktop/tick_counter.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace testsupport {

struct ShownBox {
    QString text;
    QString title;
    desktop::BoxIcon icon;
    QString details;
    // Details set while the box was open, in order (changing details only).
    QStringList laterDetails;
};

// Records every box instead of showing it. `whileShown` runs while a box is
// "open", so a test can act as time passes behind a modal box.
class RecordingMessageBoxes final : public desktop::MessageBoxes {
public:
    void show(const QString &text, const QString &title, desktop::BoxIcon icon) override
    {
        showWithDetails(text, {}, title, icon);
    }
    void showWithDetails(const QString &text, const QString &details, const QString &title,
                         desktop::BoxIcon icon) override
    {
        boxes.append({text, title, icon, details, {}});
        if (whileShown)
            whileShown(boxes.last());
    }
    void showWithChangingDetails(const QString &text, std::shared_ptr<desktop::BoxDetails> details,
                                 const QString &title, desktop::BoxIcon icon) override
    {
        // Changes count while the box is "open": the guard ends the
        // connection when it closes.
        QObject open;
        const qsizetype shown = boxes.size();
        QObject::connect(details.get(), &desktop::BoxDetails::changed, &open,
                         [this, shown](const QString &now) { boxes[shown].laterDetails << now; });
        showWithDetails(text, details->text(), title, icon);
    }
    QStringList texts() const
    {
        QStringList t;
        for (const auto &b : boxes)
            t << b.text;
        return t;
    }

    QList<ShownBox> boxes;
    std::function<void(const ShownBox &)> whileShown;
};

class RecordingProgramEnd final : public desktop::ProgramEnd {
public:
    void end(int exitCode = 0) override
    {
        ++ends;
        lastExitCode = exitCode;
    }
    int ends = 0;
    int lastExitCode = 0;
};

// A tick counter the test moves by hand; starts near the 32-bit wrap so
// wrap handling is exercised.
class ManualTickCounter final : public desktop::TickCounter {
public:
    quint32 now() const override { return value; }
    quint32 value = 0xFFFFF000u;
};

} // namespace testsupport
