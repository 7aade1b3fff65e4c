#include "settings/autostart.h"

#include "core/appstate.h"
#include "settings/autostartentry.h"
#include "gui/boxes.h"
#include "core/support.h"

#include <cerrno>

namespace quillet {

namespace {

const QString EntrySuffix = QStringLiteral(".desktop");

const QString FailureText = QStringLiteral("Не удалось создать ярлык.");

// A name the user typed must not lead out of the autostart folder.
bool isPlainName(const QString &name)
{
    return !name.contains(QLatin1Char('/')) && !name.contains(QChar(0));
}

} // namespace

QString existingEntryQuestion(const QString &path)
{
    const QString crlf = QStringLiteral("\r\n");
    return path + crlf + crlf +
           QStringLiteral("Ярлык уже существует. Возможно, данный чат уже добавлен в "
                          "автозагрузку, а может быть просто имена файлов совпали.") +
           crlf + crlf + QStringLiteral("Заменить существующий ярлык?") + crlf + crlf +
           QStringLiteral("Да     - заменить.") + crlf +
           QStringLiteral("Нет    - задать новое имя файла.") + crlf +
           QStringLiteral("Отмена - не создавать ничего.");
}

void addChatToAutostart(QWidget *owner)
{
    if (ChatFilePath.isEmpty())
        return;
    const QString folder = autostartFolder();
    QString name = fileNameOf(ChatFilePath) + EntrySuffix;
    QString path = folder + QLatin1Char('/') + name;
    while (fileExists(path)) {
        const BoxAnswer answer = Boxes::message(owner, existingEntryQuestion(path),
                                          BoxStyle{BoxButtons::YesNoCancel, BoxIcon::Warning});
        if (answer == BoxAnswer::Cancel)
            return;
        if (answer != BoxAnswer::No)
            break;
        const QString typed = Boxes::input(
            owner,
            QStringLiteral("Введите новое имя для ярлыка, который будет помещён в автозагрузку."),
            stripExtension(name));
        if (typed.isEmpty())
            return;
        if (!isPlainName(typed)) {
            Boxes::showError(owner, Error::fromErrno(EINVAL), BoxStyle{BoxButtons::Ok, BoxIcon::Stop}, FailureText);
            return;
        }
        name = typed + EntrySuffix;
        path = folder + QLatin1Char('/') + name;
    }
    createAutostartEntry(owner, path, executablePath(), ExchangeFolderPath,
                   {QStringLiteral("/H")}, ChatFilePath, autostartIconName());
}

void createAutostartEntry(QWidget *owner, const QString &linkPath, const QString &target,
                    const QString &workingDirectory, const QStringList &switches,
                    const QString &file, const QString &icon)
{
    if (target.isEmpty() || linkPath.isEmpty())
        return;
    const QString name = stripExtension(fileNameOf(linkPath));
    const Status written =
        writeAutostartEntry(linkPath, {name, target, switches, file, workingDirectory, icon});
    if (written)
        Boxes::message(owner, QStringLiteral("Готово! ^_^v"), BoxStyle{BoxButtons::Ok, BoxIcon::Information});
    else
        Boxes::showError(owner, written.error(), BoxStyle{BoxButtons::Ok, BoxIcon::Stop}, FailureText);
}

} // namespace quillet
