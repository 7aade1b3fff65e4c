#include "core/error.h"

#include <cerrno>
#include <cstring>

namespace quillet {

namespace {

QString systemErrorDescription(int e)
{
    switch (e) {
    case EPERM:
    case EACCES:
        return QStringLiteral("Отказано в доступе.");
    case ENOENT:
        return QStringLiteral("Файл или папка не найдены.");
    case EEXIST:
        return QStringLiteral("Файл уже существует.");
    case ENOTDIR:
        return QStringLiteral("Часть пути не является папкой.");
    case EISDIR:
        return QStringLiteral("Это папка, а не файл.");
    case ENOSPC:
        return QStringLiteral("На диске нет места.");
    case EDQUOT:
        return QStringLiteral("Превышена дисковая квота.");
    case EROFS:
        return QStringLiteral("Диск доступен только для чтения.");
    case EIO:
        return QStringLiteral("Ошибка ввода-вывода.");
    case ENAMETOOLONG:
        return QStringLiteral("Слишком длинное имя файла.");
    case ELOOP:
        return QStringLiteral("Файл является символической ссылкой.");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("Открыто слишком много файлов.");
    case EINVAL:
        return QStringLiteral("Недопустимый аргумент.");
    case EBUSY:
        return QStringLiteral("Файл или устройство занято.");
    case EAGAIN:
        return QStringLiteral("Ресурс временно недоступен.");
    case ENOTSUP:
        return QStringLiteral("Операция не поддерживается.");
    case EXDEV:
        return QStringLiteral("Файлы находятся на разных дисках.");
    case ENXIO:
    case ENODEV:
        return QStringLiteral("Устройство недоступно.");
    case EFBIG:
        return QStringLiteral("Файл слишком велик.");
    case ETXTBSY:
        return QStringLiteral("Файл занят.");
    default:
        return QStringLiteral("Системная ошибка (%1).")
            .arg(QString::fromLocal8Bit(std::strerror(e)));
    }
}

} // namespace

QString errorDescription(int number)
{
    switch (number) {
    case ErrorCode::FileTooLarge:
        return QStringLiteral("Файл слишком велик (больше 4 МБ).");
    case ErrorCode::InvalidEncoding:
        return QStringLiteral("Текст файла повреждён: недопустимая кодировка.");
    case ErrorCode::NotRegularFile:
        return QStringLiteral("Это не обычный файл.");
    case ErrorCode::EmptyPath:
        return QStringLiteral("Не задан путь к файлу.");
    case ErrorCode::ReadFailed:
        return QStringLiteral("Не удалось прочитать файл.");
    case ErrorCode::WriteFailed:
        return QStringLiteral("Не удалось записать файл.");
    case ErrorCode::TooFewFields:
        return QStringLiteral("Неверный формат сообщения: меньше девяти полей.");
    case ErrorCode::BadNumber:
        return QStringLiteral("Неверный формат сообщения: поле времени не является числом.");
    case ErrorCode::BadTime:
        return QStringLiteral("Неверный формат сообщения: недопустимые дата или время.");
    case ErrorCode::EmptyMessage:
        return QStringLiteral("Файл сообщения пуст.");
    case ErrorCode::RtfMalformed:
        return QStringLiteral("Файл не является документом RTF или повреждён.");
    case ErrorCode::RtfTooDeep:
        return QStringLiteral("Документ RTF слишком глубоко вложен.");
    case ErrorCode::StoreAccess:
        return QStringLiteral("Не удалось записать настройки.");
    case ErrorCode::ResourceNotFound:
        return QStringLiteral("Ресурс программы не найден.");
    case ErrorCode::BadPicture:
        return QStringLiteral("Рисунок повреждён или имеет неверный формат.");
    case ErrorCode::ShellOpenFailed:
        return QStringLiteral("Файловый менеджер не открыл папку.");
    case ErrorCode::LogTooLarge:
        return QStringLiteral("Лог слишком велик (больше 64 МБ).");
    default:
        return systemErrorDescription(number);
    }
}

Error Error::fromErrno(int errnoValue)
{
    return Error{errnoValue, errorDescription(errnoValue)};
}

Error Error::make(int number)
{
    return Error{number, errorDescription(number)};
}

} // namespace quillet
