#pragma once

#include <QString>

#include <utility>
#include <variant>

namespace quillet {

// A failure as the user sees it: a stable number and a Russian description.
// System errors keep their errno as the number; the program's own causes use
// the numbers of ErrorCode, which lie above every errno.
struct Error
{
    int number = 0;
    QString description;

    static Error fromErrno(int errnoValue);
    static Error make(int number);
};

namespace ErrorCode {
enum : int
{
    // Files and text
    FileTooLarge = 1001,
    InvalidEncoding = 1002,
    NotRegularFile = 1003,
    EmptyPath = 1004,
    ReadFailed = 1005,
    WriteFailed = 1006,
    // Message files
    TooFewFields = 1101,
    BadNumber = 1102,
    BadTime = 1103,
    EmptyMessage = 1104,
    // Attached files
    AttachmentRecordBroken = 1110,
    AttachmentNewerVersion = 1111,
    AttachmentOutsideFiles = 1112,
    AttachmentAbsolutePath = 1113,
    AttachmentParentStep = 1114,
    AttachmentBackslash = 1115,
    AttachmentControlCharacter = 1116,
    AttachmentSyncServiceFile = 1117,
    AttachmentBadSize = 1118,
    AttachmentBadHash = 1119,
    AttachmentBadType = 1120,
    AttachmentTooLarge = 1121,
    AttachmentSameName = 1122,
    AttachmentSourceChanged = 1123,
    SendCancelled = 1124,
    AttachmentTooMany = 1125,
    // Rich text
    RtfMalformed = 1201,
    RtfTooDeep = 1202,
    // Settings store
    StoreAccess = 1301,
    // Program resources
    ResourceNotFound = 1451,
    BadPicture = 1452,
    // Logs viewer and shell
    ShellOpenFailed = 1460,
    LogTooLarge = 1461,
};
}

QString errorDescription(int number);

// The value of an operation or the error that stopped it.
template <class T> class [[nodiscard]] Result
{
public:
    Result(T value) : m_data(std::move(value)) {}
    Result(Error error) : m_data(std::move(error)) {}

    bool ok() const { return m_data.index() == 0; }
    explicit operator bool() const { return ok(); }
    const T &value() const & { return std::get<0>(m_data); }
    T &value() & { return std::get<0>(m_data); }
    T &&value() && { return std::get<0>(std::move(m_data)); }
    const Error &error() const { return std::get<1>(m_data); }

private:
    std::variant<T, Error> m_data;
};

// Success or the error of an operation without a value.
class [[nodiscard]] Status
{
public:
    Status() = default;
    Status(Error error) : m_error(std::move(error)), m_failed(true) {}

    bool ok() const { return !m_failed; }
    explicit operator bool() const { return ok(); }
    const Error &error() const { return m_error; }

private:
    Error m_error;
    bool m_failed = false;
};

} // namespace quillet
