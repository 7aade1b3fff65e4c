#include "core/settingsstore.h"

#include "core/support.h"

#include <QSettings>

namespace quillet {

using namespace Qt::StringLiterals;

namespace {

// QSettings matches keys case-sensitively and splits them at "/" and "\":
// fold the case and escape both separators so that any text is one key.
QString storedName(const QString &name)
{
    QString folded = name.toCaseFolded();
    folded.replace('%'_L1, "%25"_L1);
    folded.replace('/'_L1, "%2f"_L1);
    folded.replace('\\'_L1, "%5c"_L1);
    return folded;
}

QString storedPath(const QString &section, const QString &key)
{
    if (section.isEmpty())
        return storedName(key);
    return storedName(section) + '/'_L1 + storedName(key);
}

QVariant convert(const QVariant &value, ValueKind kind)
{
    switch (kind) {
    case ValueKind::Text:
        return value.toString();
    case ValueKind::Int32:
        return static_cast<qint32>(value.toLongLong());
    case ValueKind::Boolean: {
        if (value.typeId() == QMetaType::QString) {
            const QString text = value.toString().trimmed().toLower();
            return text == "true"_L1 || text == "1"_L1;
        }
        return value.toBool();
    }
    }
    return value;
}

} // namespace

SettingsStore::SettingsStore()
    : m_settings(std::make_unique<QSettings>(filePath(), QSettings::IniFormat))
{}

SettingsStore::~SettingsStore() = default;

QString SettingsStore::filePath()
{
    return xdgConfigHome() + u"/Greyhollow Studios/Quillet IM.conf"_s;
}

QVariant SettingsStore::loadValue(const QString &section, const QString &key, ValueKind kind,
                                  const QVariant &defaultValue)
{
    const QVariant stored = m_settings->value(storedPath(section, key));
    if (!stored.isValid())
        return defaultValue.isValid() ? convert(defaultValue, kind) : convert(QVariant(), kind);
    return convert(stored, kind);
}

Status SettingsStore::saveValue(const QString &section, const QString &key, ValueKind kind,
                                const QVariant &value)
{
    setValue(section, key, kind, value);
    return sync();
}

void SettingsStore::setValue(const QString &section, const QString &key, ValueKind kind,
                             const QVariant &value)
{
    m_settings->setValue(storedPath(section, key), convert(value, kind));
}

Status SettingsStore::sync()
{
    m_settings->sync();
    if (m_settings->status() != QSettings::NoError)
        return Error::make(ErrorCode::StoreAccess);
    return {};
}

bool SettingsStore::contains(const QString &section, const QString &key)
{
    return m_settings->contains(storedPath(section, key));
}

} // namespace quillet
