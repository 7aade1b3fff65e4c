#include "core/error.h"

#include <cerrno>
#include <cstring>

namespace quillet {

using namespace Qt::StringLiterals;

namespace {

QString systemErrorDescription(int e)
{
    switch (e) {
    case EPERM:
    case EACCES:
        return u"Отказано в доступе."_s;
    case ENOENT:
        return u"Файл или папка не найдены."_s;
    case EEXIST:
        return u"Файл уже существует."_s;
    case ENOTDIR:
        return u"Часть пути не является папкой."_s;
    case EISDIR:
        return u"Это папка, а не файл."_s;
    case ENOSPC:
        return u"На диске нет места."_s;
    case EDQUOT:
        return u"Превышена дисковая квота."_s;
    case EROFS:
        return u"Диск доступен только для чтения."_s;
    case EIO:
        return u"Ошибка ввода-вывода."_s;
    case ENAMETOOLONG:
        return u"Слишком длинное имя файла."_s;
    case ELOOP:
        return u"Файл является символической ссылкой."_s;
    case EMFILE:
    case ENFILE:
        return u"Открыто слишком много файлов."_s;
    case EINVAL:
        return u"Недопустимый аргумент."_s;
    case EBUSY:
        return u"Файл или устройство занято."_s;
    case EAGAIN:
        return u"Ресурс временно недоступен."_s;
    case ENOTSUP:
        return u"Операция не поддерживается."_s;
    case EXDEV:
        return u"Файлы находятся на разных дисках."_s;
    case ENXIO:
    case ENODEV:
        return u"Устройство недоступно."_s;
    case EFBIG:
        return u"Файл слишком велик."_s;
    case ETXTBSY:
        return u"Файл занят."_s;
    default:
        return u"Системная ошибка (%1)."_s.arg(QString::fromLocal8Bit(std::strerror(e)));
    }
}

} // namespace

QString errorDescription(int number)
{
    switch (number) {
    case ErrorCode::FileTooLarge:
        return u"Файл слишком велик (больше 4 МБ)."_s;
    case ErrorCode::InvalidEncoding:
        return u"Текст файла повреждён: недопустимая кодировка."_s;
    case ErrorCode::NotRegularFile:
        return u"Это не обычный файл."_s;
    case ErrorCode::EmptyPath:
        return u"Не задан путь к файлу."_s;
    case ErrorCode::ReadFailed:
        return u"Не удалось прочитать файл."_s;
    case ErrorCode::WriteFailed:
        return u"Не удалось записать файл."_s;
    case ErrorCode::TooFewFields:
        return u"Неверный формат сообщения: меньше девяти полей."_s;
    case ErrorCode::BadNumber:
        return u"Неверный формат сообщения: поле времени не является числом."_s;
    case ErrorCode::BadTime:
        return u"Неверный формат сообщения: недопустимые дата или время."_s;
    case ErrorCode::EmptyMessage:
        return u"Файл сообщения пуст."_s;
    case ErrorCode::AttachmentRecordBroken:
        return u"Сведения о вложенных файлах повреждены."_s;
    case ErrorCode::AttachmentNewerVersion:
        return u"Вложенные файлы описаны более новой версией программы."_s;
    case ErrorCode::AttachmentOutsideFiles:
        return u"Вложенный файл указан вне папки Files этого сообщения."_s;
    case ErrorCode::AttachmentAbsolutePath:
        return u"Путь вложенного файла абсолютный."_s;
    case ErrorCode::AttachmentParentStep:
        return u"Путь вложенного файла содержит «..»."_s;
    case ErrorCode::AttachmentBackslash:
        return u"Путь вложенного файла содержит обратную косую черту."_s;
    case ErrorCode::AttachmentControlCharacter:
        return u"Путь вложенного файла содержит управляющий символ."_s;
    case ErrorCode::AttachmentSyncServiceFile:
        return u"Это служебный файл службы синхронизации, а не вложенный файл."_s;
    case ErrorCode::AttachmentBadSize:
        return u"Неверный размер вложенного файла."_s;
    case ErrorCode::AttachmentBadHash:
        return u"Неверная контрольная сумма SHA-256 вложенного файла."_s;
    case ErrorCode::AttachmentBadType:
        return u"Неверный тип вложенного файла."_s;
    case ErrorCode::AttachmentTooLarge:
        return u"Файл больше 2 ГБ: такие файлы не отправляются."_s;
    case ErrorCode::AttachmentSameName:
        return u"Два файла с одним именем нельзя отправить в одном сообщении."_s;
    case ErrorCode::AttachmentSourceChanged:
        return u"Файл изменился во время копирования."_s;
    case ErrorCode::SendCancelled:
        return u"Отправка отменена."_s;
    case ErrorCode::AttachmentTooMany:
        return u"Слишком много файлов в одном сообщении (больше 256)."_s;
    case ErrorCode::RtfMalformed:
        return u"Файл не является документом RTF или повреждён."_s;
    case ErrorCode::RtfTooDeep:
        return u"Документ RTF слишком глубоко вложен."_s;
    case ErrorCode::StoreAccess:
        return u"Не удалось записать настройки."_s;
    case ErrorCode::ResourceNotFound:
        return u"Ресурс программы не найден."_s;
    case ErrorCode::BadPicture:
        return u"Рисунок повреждён или имеет неверный формат."_s;
    case ErrorCode::ShellOpenFailed:
        return u"Файловый менеджер не открыл папку."_s;
    case ErrorCode::LogTooLarge:
        return u"Лог слишком велик (больше 64 МБ)."_s;
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
