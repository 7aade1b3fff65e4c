#include "settings/settings.h"

#include "core/settingsstore.h"
#include "core/support.h"
#include "gui/dialogs.h"

#include <QHash>

namespace quillet {

using namespace Qt::StringLiterals;

SettingsRecord &appSettings()
{
    static SettingsRecord settings;
    return settings;
}

namespace {

const QString Colors = u"Colors"_s;
const QString LogsList = u"Logs List"_s;

// One row of the preferences table: where a field is stored and how.
struct Row
{
    QString section;
    QString readKey;
    QString writeKey;
    ValueKind kind;
    bool SettingsRecord::*flag = nullptr;
    QColor SettingsRecord::*colour = nullptr;
};

QList<Row> rows()
{
    using R = SettingsRecord;
    const QString none;
    return {
        {none, u"Send on Enter"_s, u"Send on Enter"_s, ValueKind::Boolean, &R::sendOnEnter},
        {Colors, u"Message Color"_s, u"Message Color"_s, ValueKind::Int32, nullptr,
         &R::messageColor},
        {Colors, u"My Name Color"_s, u"My Name Color"_s, ValueKind::Int32, nullptr,
         &R::myNameColor},
        {Colors, u"Other Name Color"_s, u"Other Name Color"_s, ValueKind::Int32, nullptr,
         &R::otherNameColor},
        {Colors, u"System Color"_s, u"System Color"_s, ValueKind::Int32, nullptr, &R::systemColor},
        {none, u"iChat Style Plugin"_s, u"iChat Style Plugin"_s, ValueKind::Boolean,
         &R::timeStamps},
        {none, u"Name on separate Line"_s, u"Name on Separate Line"_s, ValueKind::Boolean,
         &R::nameOnSeparateLine},
        {LogsList, u"Sort"_s, u"Sort"_s, ValueKind::Boolean, &R::sortLogsList},
        {LogsList, u"Descending Sort"_s, u"Descending Sort"_s, ValueKind::Boolean,
         &R::sortLogsDescending},
        {u"Debug"_s, u"Show Debug Messages"_s, u"Show Debug Messages"_s, ValueKind::Boolean,
         &R::showDebugMessages},
        {u"Sound"_s, u"New Message Sound"_s, u"New Message Sound"_s, ValueKind::Boolean,
         &R::newMessageSound},
        {u"Spelling"_s, u"Check Spelling"_s, u"Check Spelling"_s, ValueKind::Boolean,
         &R::checkSpelling},
        {u"History"_s, u"Show Earlier Messages"_s, u"Show Earlier Messages"_s, ValueKind::Boolean,
         &R::showEarlierMessages},
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
                       u"\r\n\r\nНе удалось записать файл настроек. Пока он "
                       "недоступен, программа не помнит вас между запусками: "
                       "ваши прежние сообщения будут показаны как чужие, а "
                       "сохранённые логи чата не найдутся."_s,
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
            const QVariant stored = store.loadValue(row.section, row.readKey, row.kind,
                                                    rgbValueFromColor(defaults.*row.colour));
            appSettings().*row.colour = colorFromRgbValue(stored.toInt());
        }
    }
}

Status saveSettings()
{
    SettingsStore store;
    for (const Row &row : rows()) {
        const QVariant value = row.flag ? QVariant(appSettings().*row.flag)
                                        : QVariant(rgbValueFromColor(appSettings().*row.colour));
        store.setValue(row.section, row.writeKey, row.kind, value);
    }
    return store.sync();
}

QString loadUserId()
{
    const QString fresh = newGuid();
    SettingsStore store;
    const QString id = store.loadValue(QString(), u"My GUID"_s, ValueKind::Text, fresh).toString();
    reportStoreFailure(store.saveValue(QString(), u"My GUID"_s, ValueKind::Text, id));
    return id;
}

QString chatLogGuid(const QString &chatFile)
{
    const QString section = u"Log GUIDs"_s;
    SettingsStore store;
    QString value = trimText(
        store.loadValue(section, chatFile, ValueKind::Text, QString()).toString(), TrimAll);
    // A GUID the store did not take earlier in this run is offered again, so that
    // meanwhile the writer and the viewer of logs find the same folder.
    const QString unsaved = unsavedLogGuids().value(chatFile);
    if (!value.isEmpty() && value != unsaved)
        return value;
    if (value.isEmpty())
        value = unsaved.isEmpty() ? newGuid() : unsaved;
    const Status saved = store.saveValue(section, chatFile, ValueKind::Text, value);
    if (saved)
        unsavedLogGuids().remove(chatFile);
    else
        unsavedLogGuids().insert(chatFile, value);
    reportStoreFailure(saved);
    return value;
}

Result<QString> logsFolder(const QString &chatFile, bool noCreate)
{
    QString path = joinPath(dataHomeFolder(), u"Greyhollow Studios\\Quillet IM\\Logs"_s);
    path = joinPath(path, chatLogGuid(chatFile));
    if (!noCreate) {
        if (Status created = createPrivateFolder(path); !created)
            return created.error();
    }
    return path;
}

} // namespace quillet
