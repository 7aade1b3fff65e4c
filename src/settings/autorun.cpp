#include "autorun.h"

#include "appstate.h"
#include "autostartentry.h"
#include "boxes.h"
#include "support.h"

#include <cerrno>

namespace {

const QString EntrySuffix = QStringLiteral(".desktop");

const QString FailureText = QStringLiteral("Не удалось создать ярлык.");

// A name the user typed must not lead out of the autostart folder.
bool isPlainName(const QString &name)
{
    return !name.contains(QLatin1Char('/')) && !name.contains(QChar(0));
}

} // namespace

QString ExistingShortcutQuestion(const QString &path)
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

void AddChatToAutorun(QWidget *owner)
{
    if (ChatFilePath.isEmpty())
        return;
    const QString folder = bfGetSpecialFolder(CSIDL_STARTUP);
    QString name = bfGetFileName(ChatFilePath) + EntrySuffix;
    QString path = folder + QLatin1Char('/') + name;
    while (bfIsFileExist(path)) {
        const int answer = Boxes::message(owner, ExistingShortcutQuestion(path),
                                          MB_YESNOCANCEL | MB_ICONEXCLAMATION);
        if (answer == IDCANCEL)
            return;
        if (answer != IDNO)
            break;
        const QString typed = Boxes::input(
            owner,
            QStringLiteral("Введите новое имя для ярлыка, который будет помещён в автозагрузку."),
            StripExtension(name));
        if (typed.isEmpty())
            return;
        if (!isPlainName(typed)) {
            Boxes::showError(owner, Error::fromErrno(EINVAL), MB_ICONSTOP, FailureText);
            return;
        }
        name = typed + EntrySuffix;
        path = folder + QLatin1Char('/') + name;
    }
    CreateShortcut(owner, path, bfGetEXEModulePrettyFileName(), ExchangeFolderPath,
                   {QStringLiteral("/H")}, ChatFilePath, AutostartIconName());
}

void CreateShortcut(QWidget *owner, const QString &linkPath, const QString &target,
                    const QString &workingDirectory, const QStringList &switches,
                    const QString &file, const QString &icon)
{
    if (target.isEmpty() || linkPath.isEmpty())
        return;
    const QString name = StripExtension(bfGetFileName(linkPath));
    const Status written =
        writeAutostartEntry(linkPath, {name, target, switches, file, workingDirectory, icon});
    if (written)
        Boxes::message(owner, QStringLiteral("Готово! ^_^v"), MB_OK | MB_ICONINFORMATION);
    else
        Boxes::showError(owner, written.error(), MB_ICONSTOP, FailureText);
}
