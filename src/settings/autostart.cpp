#include "settings/autostart.h"

#include "core/chatcontext.h"
#include "core/support.h"
#include "gui/boxes.h"
#include "settings/autostartentry.h"

#include <cerrno>

namespace quillet {

using namespace Qt::StringLiterals;

namespace {

const QString EntrySuffix = u".desktop"_s;

const QString FailureText = u"Не удалось создать ярлык."_s;

// A name the user typed must not lead out of the autostart folder.
bool isPlainName(const QString &name)
{
    return !name.contains('/'_L1) && !name.contains(QChar(0));
}

} // namespace

QString existingEntryQuestion(const QString &path)
{
    const QString crlf = u"\r\n"_s;
    return path + crlf + crlf +
           u"Ярлык уже существует. Возможно, данный чат уже добавлен в "
           "автозагрузку, а может быть просто имена файлов совпали."_s +
           crlf + crlf + u"Заменить существующий ярлык?"_s + crlf + crlf + u"Да     - заменить."_s +
           crlf + u"Нет    - задать новое имя файла."_s + crlf + u"Отмена - не создавать ничего."_s;
}

void addChatToAutostart(QWidget *owner, const ChatContext &chat)
{
    if (chat.chatFile.isEmpty())
        return;
    const QString folder = autostartFolder();
    QString name = fileNameOf(chat.chatFile) + EntrySuffix;
    QString path = folder + '/'_L1 + name;
    while (fileExists(path)) {
        const BoxAnswer answer =
            Boxes::message(owner, existingEntryQuestion(path),
                           BoxStyle{BoxButtons::YesNoCancel, BoxIcon::Warning});
        if (answer == BoxAnswer::Cancel)
            return;
        if (answer != BoxAnswer::No)
            break;
        const QString typed = Boxes::input(
            owner, u"Введите новое имя для ярлыка, который будет помещён в автозагрузку."_s,
            stripExtension(name));
        if (typed.isEmpty())
            return;
        if (!isPlainName(typed)) {
            Boxes::showError(owner, Error::fromErrno(EINVAL),
                             BoxStyle{BoxButtons::Ok, BoxIcon::Stop}, FailureText);
            return;
        }
        name = typed + EntrySuffix;
        path = folder + '/'_L1 + name;
    }
    createAutostartEntry(owner, path, executablePath(), chat.exchangeFolder, {u"/H"_s},
                         chat.chatFile, autostartIconName());
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
        Boxes::message(owner, u"Готово! ^_^v"_s, BoxStyle{BoxButtons::Ok, BoxIcon::Information});
    else
        Boxes::showError(owner, written.error(), BoxStyle{BoxButtons::Ok, BoxIcon::Stop},
                         FailureText);
}

} // namespace quillet
