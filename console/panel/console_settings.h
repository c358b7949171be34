#pragma once

#include <QString>
#include <QVariant>

#include <memory>

class QSettings;

namespace console {

// What the console keeps between runs in the user's settings
// (~/.config/Tavrin/Tavrin.conf), or in an INI file the caller names:
//
//   [Panel0] / [Panel1]  ReconnectAutomatically = true | false
//                        ListenOnly = true | false
//   [Receive]            MemoryBudgetMiB = 0.. (0: every byte in memory)
//
// and, under their own names, what the traffic view keeps (see
// traffic_settings.h). Test rigs write these before the program starts, so
// the names and values are fixed. A value missing or out of its range
// reads as the default.
class ConsoleSettings {
public:
    explicit ConsoleSettings(const QString &file = {});
    ~ConsoleSettings();

    bool reconnectAutomatically(int panel) const;
    void setReconnectAutomatically(int panel, bool on);
    bool listenOnly(int panel) const;
    void setListenOnly(int panel, bool on);

    // How much of each panel's received bytes stays in memory before older
    // ones go to a file, in bytes; 0 keeps them all in memory. 64 MiB when
    // unset or not a whole number from 0 up.
    qint64 receiveMemoryBudget() const;

    // A value of another part of the console, by its key ("Traffic/Split");
    // a value set is on disk when the call returns.
    QVariant value(const QString &key) const;
    void setValue(const QString &key, const QVariant &value);

private:
    std::unique_ptr<QSettings> m_settings;
};

} // namespace console
