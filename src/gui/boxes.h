#pragma once

#include "core/error.h"

#include <QString>

#include <functional>

class QWidget;

namespace quillet {

// The buttons and the icon of a box. Their numbers add up to the style number
// that the headless box log records.
enum class BoxButtons
{
    Ok = 0,
    AbortRetryIgnore = 2,
    YesNoCancel = 3,
};
enum class BoxIcon
{
    None = 0,
    Stop = 16,
    Question = 32,
    Warning = 48,
    Information = 64,
};
// The answers, numbered as the headless runs' QUILLET_BOX_ANSWERS gives them.
enum class BoxAnswer
{
    Ok = 1,
    Cancel = 2,
    Abort = 3,
    Retry = 4,
    Ignore = 5,
    Yes = 6,
    No = 7,
};

struct BoxStyle
{
    BoxButtons buttons = BoxButtons::Ok;
    BoxIcon icon = BoxIcon::None;

    int number() const { return int(buttons) + int(icon); }
    friend bool operator==(const BoxStyle &, const BoxStyle &) = default;
};

// One question the program puts to the user.
struct BoxRequest
{
    enum class Kind
    {
        Message,
        Input
    };
    Kind kind = Kind::Message;
    QString text; // message text, or the input box's prompt
    BoxStyle style;
    QString offered; // the text an input box offers
};

struct BoxReply
{
    BoxAnswer button = BoxAnswer::Ok;
    QString text; // the input box's answer; empty when cancelled
};

// Every message and input box of the program goes through here, captioned
// with the application's title. Tests (and headless runs) install a handler
// that answers instead of a person.
class Boxes final
{
public:
    using Handler = std::function<BoxReply(const BoxRequest &)>;

    static BoxAnswer message(QWidget *parent, const QString &text, BoxStyle style);
    // Returns the answer, or the empty text when the box is cancelled.
    static QString input(QWidget *parent, const QString &prompt, const QString &offered);
    // The error report: the text, then the error's number and description.
    static BoxAnswer showError(QWidget *parent, const Error &error, BoxStyle style,
                               const QString &text);

    static void setHandler(Handler handler);
    static void resetHandler();
#ifdef QUILLET_TEST_HOOKS
    // Test builds: when QUILLET_BOX_LOG names a file, every box is appended to it and answered
    // without being shown: with the next number of QUILLET_BOX_ANSWERS (comma
    // separated), otherwise with the first button of its style.
    static void installFromEnvironment();
#endif
};

} // namespace quillet
