#include "boxes.h"

#include "support.h"

#include <QFile>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

namespace {

Boxes::Handler &handler()
{
    static Boxes::Handler value;
    return value;
}

#ifdef QUILLET_TEST_HOOKS
int firstButtonOf(int style)
{
    switch (style & 0xF) {
    case MB_ABORTRETRYIGNORE:
        return IDABORT;
    case MB_YESNOCANCEL:
        return IDYES;
    default:
        return IDOK;
    }
}
#endif

QMessageBox::Icon iconOf(int style)
{
    switch (style & 0xF0) {
    case MB_ICONSTOP:
        return QMessageBox::Critical;
    case MB_ICONQUESTION:
        return QMessageBox::Question;
    case MB_ICONEXCLAMATION:
        return QMessageBox::Warning;
    case MB_ICONINFORMATION:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

int showMessageBox(QWidget *parent, const QString &text, int style)
{
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox box(iconOf(style), appTitle(), shown, QMessageBox::NoButton, parent);
    // Texts hold paths and messages: a "<b>" or "&lt;" in them is shown as typed.
    box.setTextFormat(Qt::PlainText);
    struct Choice
    {
        int answer;
        const char *caption;
        QMessageBox::ButtonRole role;
    };
    QList<Choice> choices;
    switch (style & 0xF) {
    case MB_ABORTRETRYIGNORE:
        choices = {{IDABORT, "Прервать", QMessageBox::RejectRole},
                   {IDRETRY, "Повторить", QMessageBox::AcceptRole},
                   {IDIGNORE, "Пропустить", QMessageBox::DestructiveRole}};
        break;
    case MB_YESNOCANCEL:
        choices = {{IDYES, "Да", QMessageBox::YesRole},
                   {IDNO, "Нет", QMessageBox::NoRole},
                   {IDCANCEL, "Отмена", QMessageBox::RejectRole}};
        break;
    default:
        choices = {{IDOK, "OK", QMessageBox::AcceptRole}};
    }
    QList<QPair<QAbstractButton *, int>> buttons;
    for (const Choice &choice : choices)
        buttons.append(
            {box.addButton(QString::fromUtf8(choice.caption), choice.role), choice.answer});
    box.setDefaultButton(qobject_cast<QPushButton *>(buttons.first().first));
    box.exec();
    for (const auto &[button, answer] : buttons) {
        if (box.clickedButton() == button)
            return answer;
    }
    return (style & 0xF) == MB_OK ? IDOK : IDCANCEL;
}

#ifdef QUILLET_TEST_HOOKS
QString escapeForLog(QString text)
{
    text.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    text.replace(QLatin1Char('\r'), QLatin1String("\\r"));
    text.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    return text;
}
#endif

} // namespace

int Boxes::message(QWidget *parent, const QString &text, int style)
{
    if (handler())
        return handler()(BoxRequest{BoxRequest::Kind::Message, text, style, {}}).button;
    return showMessageBox(parent, text, style);
}

QString Boxes::input(QWidget *parent, const QString &prompt, const QString &offered)
{
    if (handler())
        return handler()(BoxRequest{BoxRequest::Kind::Input, prompt, MB_OK, offered}).text;
    QInputDialog dialog(parent);
    dialog.setWindowTitle(appTitle());
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setLabelText(prompt);
    dialog.setTextValue(offered);
    // The prompt is shown as typed, as the message box's text is.
    for (QLabel *label : dialog.findChildren<QLabel *>())
        label->setTextFormat(Qt::PlainText);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.textValue();
}

int Boxes::showError(QWidget *parent, const Error &error, int style, const QString &text)
{
    const QString details = QStringLiteral("\r\n\r\nКод %1\r\n%2")
                                .arg(bfGetErrorNumber(error.number), error.description);
    return message(parent, text + details, style);
}

void Boxes::setHandler(Handler value)
{
    handler() = std::move(value);
}

void Boxes::resetHandler()
{
    handler() = nullptr;
}

#ifdef QUILLET_TEST_HOOKS
void Boxes::installFromEnvironment()
{
    const QString logPath = qEnvironmentVariable("QUILLET_BOX_LOG");
    if (logPath.isEmpty())
        return;
    QStringList answers =
        qEnvironmentVariable("QUILLET_BOX_ANSWERS").split(QLatin1Char(','), Qt::SkipEmptyParts);
    setHandler([logPath, answers](const BoxRequest &request) mutable {
        QFile log(logPath);
        if (log.open(QIODevice::Append)) {
            const QString line =
                QStringLiteral("%1\t%2\t%3\n")
                    .arg(request.kind == BoxRequest::Kind::Input ? QStringLiteral("input")
                                                                 : QString::number(request.style),
                         escapeForLog(request.text), escapeForLog(request.offered));
            log.write(line.toUtf8());
        }
        BoxReply reply{firstButtonOf(request.style), request.offered};
        if (!answers.isEmpty()) {
            const QString next = answers.takeFirst();
            reply.button = next.toInt();
            reply.text = next;
        }
        return reply;
    });
}
#endif
