#include "core/settingsstore.h"

#include "core/support.h"

#include <QSettings>

namespace quillet {

namespace {

// QSettings matches keys case-sensitively and splits them at "/" and "\":
// fold the case and escape both separators so that any text is one key.
QString storedName(const QString &name)
{
    QString folded = name.toCaseFolded();
    folded.replace(QLatin1Char('%'), QLatin1String("%25"));
    folded.replace(QLatin1Char('/'), QLatin1String("%2f"));
    folded.replace(QLatin1Char('\\'), QLatin1String("%5c"));
    return folded;
}

QString storedPath(const QString &section, const QString &key)
{
    if (section.isEmpty())
        return storedName(key);
    return storedName(section) + QLatin1Char('/') + storedName(key);
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
            return text == QLatin1String("true") || text == QLatin1String("1");
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
    return xdgConfigHome() + QStringLiteral("/Greyhollow Studios/Quillet IM.conf");
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
