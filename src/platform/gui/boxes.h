#pragma once

#include "error.h"

#include <QString>

#include <functional>

class QWidget;

// Message box styles and answers, in the numbering the program's texts use.
enum BoxStyle : int
{
    MB_OK = 0,
    MB_ABORTRETRYIGNORE = 2,
    MB_YESNOCANCEL = 3,
    MB_ICONSTOP = 16,
    MB_ICONQUESTION = 32,
    MB_ICONEXCLAMATION = 48,
    MB_ICONINFORMATION = 64,
};
enum BoxAnswer : int
{
    IDOK = 1,
    IDCANCEL = 2,
    IDABORT = 3,
    IDRETRY = 4,
    IDIGNORE = 5,
    IDYES = 6,
    IDNO = 7,
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
    int style = MB_OK;
    QString offered; // the text an input box offers
};

struct BoxReply
{
    int button = IDOK;
    QString text; // the input box's answer; empty when cancelled
};

// Every message and input box of the program goes through here, captioned
// with the application's title. Tests (and headless runs) install a handler
// that answers instead of a person.
class Boxes final
{
public:
    using Handler = std::function<BoxReply(const BoxRequest &)>;

    static int message(QWidget *parent, const QString &text, int style);
    // Returns the answer, or the empty text when the box is cancelled.
    static QString input(QWidget *parent, const QString &prompt, const QString &offered);
    // The error report: the text, then the error's number and description.
    static int showError(QWidget *parent, const Error &error, int style, const QString &text);

    static void setHandler(Handler handler);
    static void resetHandler();
#ifdef QUILLET_TEST_HOOKS
    // Test builds: when QUILLET_BOX_LOG names a file, every box is appended to it and answered
    // without being shown: with the next number of QUILLET_BOX_ANSWERS (comma
    // separated), otherwise with the first button of its style.
    static void installFromEnvironment();
#endif
};
