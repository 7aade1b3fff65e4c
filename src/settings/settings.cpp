#include "settings/settings.h"

#include "core/settingsstore.h"
#include "core/support.h"

#include <QHash>

namespace quillet {

QString ChatFilePath;
QString ExchangeFolderPath;
bool StartHidden = false;
QString MyGUID;

SettingsRecord &appSettings()
{
    static SettingsRecord settings;
    return settings;
}

namespace {

const QString Colors = QStringLiteral("Colors");
const QString LogsList = QStringLiteral("Logs List");

// One row of the preferences table: where a field is stored and how.
struct Row
{
    QString section;
    QString readKey;
    QString writeKey;
    ValueKind kind;
    bool SettingsRecord::*flag = nullptr;
    qint32 SettingsRecord::*colour = nullptr;
};

QList<Row> rows()
{
    using R = SettingsRecord;
    const QString none;
    return {
        {none, QStringLiteral("Send on Enter"), QStringLiteral("Send on Enter"), ValueKind::Boolean,
         &R::sendOnEnter},
        {Colors, QStringLiteral("Message Color"), QStringLiteral("Message Color"), ValueKind::Int32,
         nullptr, &R::messageColor},
        {Colors, QStringLiteral("My Name Color"), QStringLiteral("My Name Color"), ValueKind::Int32,
         nullptr, &R::myNameColor},
        {Colors, QStringLiteral("Other Name Color"), QStringLiteral("Other Name Color"),
         ValueKind::Int32, nullptr, &R::otherNameColor},
        {Colors, QStringLiteral("System Color"), QStringLiteral("System Color"), ValueKind::Int32,
         nullptr, &R::systemColor},
        {none, QStringLiteral("iChat Style Plugin"), QStringLiteral("iChat Style Plugin"),
         ValueKind::Boolean, &R::timeStamps},
        {none, QStringLiteral("Name on separate Line"), QStringLiteral("Name on Separate Line"),
         ValueKind::Boolean, &R::nameOnSeparateLine},
        {LogsList, QStringLiteral("Sort"), QStringLiteral("Sort"), ValueKind::Boolean,
         &R::sortLogsList},
        {LogsList, QStringLiteral("Descending Sort"), QStringLiteral("Descending Sort"),
         ValueKind::Boolean, &R::sortLogsDescending},
        {QStringLiteral("Debug"), QStringLiteral("Show Debug Messages"),
         QStringLiteral("Show Debug Messages"), ValueKind::Boolean, &R::showDebugMessages},
    };
}

struct StoreFailureReport
{
    StoreFailureHandler handler;
    bool told = false;
};

StoreFailureReport &storeFailureReport()
{
    static StoreFailureReport report;
    return report;
}

// Log GUIDs made this run that the store did not take, by chat file.
QHash<QString, QString> &unsavedLogGuids()
{
    static QHash<QString, QString> guids;
    return guids;
}

} // namespace

void setStoreFailureHandler(StoreFailureHandler handler)
{
    storeFailureReport() = {std::move(handler), false};
}

void reportStoreFailure(const Status &saved)
{
    StoreFailureReport &report = storeFailureReport();
    if (saved || report.told || !report.handler)
        return;
    report.told = true;
    report.handler(SettingsStore::filePath() +
                       QStringLiteral("\r\n\r\nНе удалось записать файл настроек. Пока он "
                                      "недоступен, программа не помнит вас между запусками: "
                                      "ваши прежние сообщения будут показаны как чужие, а "
                                      "сохранённые логи чата не найдутся."),
                   saved.error());
}

void loadSettings()
{
    const SettingsRecord defaults;
    SettingsStore store;
    for (const Row &row : rows()) {
        if (row.flag) {
            appSettings().*row.flag =
                store.loadValue(row.section, row.readKey, row.kind, defaults.*row.flag).toBool();
        } else {
            appSettings().*row.colour =
                store.loadValue(row.section, row.readKey, row.kind, defaults.*row.colour).toInt();
        }
    }
}

Status saveSettings()
{
    SettingsStore store;
    for (const Row &row : rows()) {
        const QVariant value =
            row.flag ? QVariant(appSettings().*row.flag) : QVariant(appSettings().*row.colour);
        store.setValue(row.section, row.writeKey, row.kind, value);
    }
    return store.sync();
}

void initMyGuid()
{
    const QString fresh = newGuid();
    SettingsStore store;
    MyGUID =
        store.loadValue(QString(), QStringLiteral("My GUID"), ValueKind::Text, fresh).toString();
    reportStoreFailure(
        store.saveValue(QString(), QStringLiteral("My GUID"), ValueKind::Text, MyGUID));
}

QString chatLogGuid()
{
    const QString section = QStringLiteral("Log GUIDs");
    SettingsStore store;
    QString value = trimText(
        store.loadValue(section, ChatFilePath, ValueKind::Text, QString()).toString(), TrimAll);
    // A GUID the store did not take earlier in this run is offered again, so that
    // meanwhile the writer and the viewer of logs find the same folder.
    const QString unsaved = unsavedLogGuids().value(ChatFilePath);
    if (!value.isEmpty() && value != unsaved)
        return value;
    if (value.isEmpty())
        value = unsaved.isEmpty() ? newGuid() : unsaved;
    const Status saved = store.saveValue(section, ChatFilePath, ValueKind::Text, value);
    if (saved)
        unsavedLogGuids().remove(ChatFilePath);
    else
        unsavedLogGuids().insert(ChatFilePath, value);
    reportStoreFailure(saved);
    return value;
}

Result<QString> logsFolder(bool noCreate)
{
    QString path = joinPath(dataHomeFolder(),
                                   QStringLiteral("Greyhollow Studios\\Quillet IM\\Logs"));
    path = joinPath(path, chatLogGuid());
    if (!noCreate) {
        if (Status created = createPrivateFolder(path); !created)
            return created.error();
    }
    return path;
}

} // namespace quillet
