#pragma once

#include "core/error.h"

#include <QString>
#include <QVariant>

#include <memory>

class QSettings;

namespace quillet {

// Kinds of stored values.
enum class ValueKind
{
    Text = 0,
    Int32 = 1,
    Boolean = 3
};

// The program's one settings file: INI text at
// $XDG_CONFIG_HOME/Greyhollow Studios/Quillet IM.conf.
//
// Sections and keys match regardless of letter case, and a key may be any
// text (a whole path included). Every save is written at once under the
// file's lock, merged with what other running copies saved meanwhile, and
// replaces the file atomically.
class SettingsStore final
{
public:
    SettingsStore();
    ~SettingsStore();
    Q_DISABLE_COPY_MOVE(SettingsStore)

    static QString filePath();

    QVariant loadValue(const QString &section, const QString &key, ValueKind kind,
                       const QVariant &defaultValue = {});
    // Sets the value and writes the store at once (setValue and sync).
    Status saveValue(const QString &section, const QString &key, ValueKind kind,
                     const QVariant &value);
    // Sets the value in memory only; sync() writes it.
    void setValue(const QString &section, const QString &key, ValueKind kind,
                  const QVariant &value);
    // Writes every value set since the last sync in one go, merged with what
    // other running copies saved meanwhile.
    Status sync();
    bool contains(const QString &section, const QString &key);

private:
    std::unique_ptr<QSettings> m_settings;
};

} // namespace quillet
