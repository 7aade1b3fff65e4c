#include "core/support.h"

#include "platform/files.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QSysInfo>
#include <QUuid>

namespace quillet {

using namespace Qt::StringLiterals;

QString appTitle()
{
    return u"Brenfold - Quillet IM"_s;
}

bool fileExists(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.exists() && !info.isDir();
}

QString absolutePath(const QString &path)
{
    if (path.isEmpty())
        return {};
    return QDir::cleanPath(QDir::current().absoluteFilePath(path));
}

QString parentFolder(const QString &path)
{
    const qsizetype slash = path.lastIndexOf('/'_L1);
    if (slash < 0)
        return {};
    return slash == 0 ? u"/"_s : path.left(slash);
}

QString fileNameOf(const QString &path)
{
    return path.mid(path.lastIndexOf('/'_L1) + 1);
}

QString fileExtension(const QString &fileName)
{
    const QString name = fileNameOf(fileName);
    const qsizetype dot = name.lastIndexOf('.'_L1);
    return dot < 0 ? QString() : name.mid(dot + 1);
}

QString dropRight(const QString &text, qsizetype count)
{
    return text.left(qMax<qsizetype>(0, text.size() - count));
}

QString joinPath(const QString &folder, const QString &name)
{
    // Relative names may be written with either separator ("A\B\C").
    QString relative = name;
    relative.replace('\\'_L1, '/'_L1);
    if (folder.isEmpty())
        return relative;
    if (relative.isEmpty())
        return folder;
    const bool folderEnds = folder.endsWith('/'_L1);
    const bool nameStarts = relative.startsWith('/'_L1);
    if (folderEnds && nameStarts)
        return folder + relative.mid(1);
    if (folderEnds || nameStarts)
        return folder + relative;
    return folder + '/'_L1 + relative;
}

namespace {

Status createFolderPath(const QString &path, unsigned mode, bool exactMode)
{
    if (path.isEmpty())
        return Error::make(ErrorCode::EmptyPath);
    if (const int error = makeFolders(QFile::encodeName(absolutePath(path)), mode, exactMode))
        return Error::fromErrno(error);
    return {};
}

} // namespace

Status makePath(const QString &path)
{
    return createFolderPath(path, 0777, false);
}

Status createPrivateFolder(const QString &path)
{
    return createFolderPath(path, 0700, true);
}

namespace {

QString xdgFolder(const char *variable, const char *fallbackUnderHome)
{
    const QString value = qEnvironmentVariable(variable);
    if (!value.isEmpty() && QDir::isAbsolutePath(value))
        return QDir::cleanPath(value);
    return QDir::cleanPath(QDir::homePath() + '/'_L1 + QLatin1String(fallbackUnderHome));
}

} // namespace

QString xdgConfigHome()
{
    return xdgFolder("XDG_CONFIG_HOME", ".config");
}

QString xdgDataHome()
{
    return xdgFolder("XDG_DATA_HOME", ".local/share");
}

QString xdgStateHome()
{
    return xdgFolder("XDG_STATE_HOME", ".local/state");
}

QString dataHomeFolder()
{
    return xdgDataHome();
}

QString autostartFolder()
{
    return xdgConfigHome() + u"/autostart"_s;
}

QString executablePath()
{
    return QCoreApplication::applicationFilePath();
}

Result<double> fileSize(const QString &path)
{
    FileStamp stamp;
    if (const int error = stampOf(QFile::encodeName(path), stamp))
        return Error::fromErrno(error);
    return static_cast<double>(stamp.size);
}

QString newMessagesText(int count)
{
    const int lastTwo = count % 100;
    const int last = count % 10;
    const bool teen = lastTwo >= 11 && lastTwo <= 14;
    const char *words = !teen && last == 1                ? "новое сообщение"
                        : !teen && last >= 2 && last <= 4 ? "новых сообщения"
                                                          : "новых сообщений";
    return QString::number(count) + ' '_L1 + QString::fromUtf8(words);
}

QString formatByteSize(double bytes)
{
    static const char *const units[] = {"КБ", "МБ", "ГБ", "ТБ"};
    if (bytes < 1024)
        return u"%1 байт"_s.arg(qMax(0.0, bytes), 0, 'f', 0);
    double value = bytes / 1024;
    int unit = 0;
    while (value >= 999.5 && unit < 3) {
        value /= 1024;
        ++unit;
    }
    // Three significant digits, with the Russian decimal comma.
    const int decimals = value < 9.995 ? 2 : value < 99.95 ? 1 : 0;
    QString number = QString::number(value, 'f', decimals);
    number.replace('.'_L1, ','_L1);
    return number + ' '_L1 + QString::fromUtf8(units[unit]);
}

QString newGuid()
{
    return QUuid::createUuid().toString(QUuid::WithBraces).toUpper();
}

QString errorNumberText(int number)
{
    return QString::number(number);
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

QString userName()
{
    if (const QByteArray name = loginName(); !name.isEmpty())
        return QString::fromLocal8Bit(name);
    return qEnvironmentVariable("USER");
}

QString computerName()
{
    return QSysInfo::machineHostName();
}

namespace {

bool isBlank(QChar c)
{
    return c == ' '_L1 || c == '\t'_L1 || c == QChar(0x00A0);
}

bool isBreak(QChar c)
{
    return c == '\r'_L1 || c == '\n'_L1;
}

bool isOtherControl(QChar c)
{
    return c.category() == QChar::Other_Control && !isBlank(c) && !isBreak(c);
}

bool trimmable(QChar c, TrimOptions options, TrimOption blanks, TrimOption breaks)
{
    return (options.testFlag(blanks) && isBlank(c)) || (options.testFlag(breaks) && isBreak(c)) ||
           (options.testFlag(TrimOption::Controls) && isOtherControl(c));
}

} // namespace

QString trimText(const QString &text, TrimOptions options)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end &&
           trimmable(text.at(begin), options, TrimOption::LeadingBlanks, TrimOption::LeadingBreaks))
        ++begin;
    while (end > begin && trimmable(text.at(end - 1), options, TrimOption::TrailingBlanks,
                                    TrimOption::TrailingBreaks))
        --end;
    return text.mid(begin, end - begin);
}

} // namespace quillet
