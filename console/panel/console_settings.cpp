#include "console_settings.h"

#include "console/bytes/byte_store.h"
#include "console/frames/whole_number.h"

#include <QSettings>

#include <algorithm>

namespace console {

namespace {
QString reconnectKey(int panel)
{
    return QStringLiteral("Panel%1/ReconnectAutomatically").arg(panel);
}
QString listenOnlyKey(int panel)
{
    return QStringLiteral("Panel%1/ListenOnly").arg(panel);
}
const QString kMemoryBudget = QStringLiteral("Receive/MemoryBudgetMiB");
} // namespace

ConsoleSettings::ConsoleSettings(const QString &file)
    : m_settings(file.isEmpty() ? std::make_unique<QSettings>(QStringLiteral("Tavrin"), QStringLiteral("Tavrin"))
                                : std::make_unique<QSettings>(file, QSettings::IniFormat))
{
}

ConsoleSettings::~ConsoleSettings() = default;

bool ConsoleSettings::reconnectAutomatically(int panel) const
{
    return m_settings->value(reconnectKey(panel), false).toBool();
}

void ConsoleSettings::setReconnectAutomatically(int panel, bool on)
{
    setValue(reconnectKey(panel), on);
}

bool ConsoleSettings::listenOnly(int panel) const
{
    return m_settings->value(listenOnlyKey(panel), false).toBool();
}

void ConsoleSettings::setListenOnly(int panel, bool on)
{
    setValue(listenOnlyKey(panel), on);
}

qint64 ConsoleSettings::receiveMemoryBudget() const
{
    constexpr qint64 kMiB = 1024 * 1024;
    const std::optional<qint64> mib = parseWholeNumber(m_settings->value(kMemoryBudget).toString());
    if (!mib || *mib < 0)
        return ByteStore::kDefaultMemoryBudget;
    // Far beyond any memory; keeps the product in range.
    return std::min<qint64>(*mib, qint64(1) << 30) * kMiB;
}

QVariant ConsoleSettings::value(const QString &key) const
{
    return m_settings->value(key);
}

void ConsoleSettings::setValue(const QString &key, const QVariant &value)
{
    m_settings->setValue(key, value);
    m_settings->sync();
}

} // namespace console
