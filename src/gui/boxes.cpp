#include "gui/boxes.h"

#include "core/support.h"

#include <QFile>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

namespace quillet {

using namespace Qt::StringLiterals;

namespace {

Boxes::Handler &handler()
{
    static Boxes::Handler value;
    return value;
}

#ifdef QUILLET_TEST_HOOKS
BoxAnswer firstButtonOf(BoxButtons buttons)
{
    switch (buttons) {
    case BoxButtons::AbortRetryIgnore:
        return BoxAnswer::Abort;
    case BoxButtons::YesNoCancel:
        return BoxAnswer::Yes;
    case BoxButtons::Ok:
        break;
    }
    return BoxAnswer::Ok;
}
#endif

QMessageBox::Icon iconOf(BoxIcon icon)
{
    switch (icon) {
    case BoxIcon::Stop:
        return QMessageBox::Critical;
    case BoxIcon::Question:
        return QMessageBox::Question;
    case BoxIcon::Warning:
        return QMessageBox::Warning;
    case BoxIcon::Information:
        return QMessageBox::Information;
    case BoxIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

BoxAnswer showMessageBox(QWidget *parent, const QString &text, BoxStyle style)
{
    QString shown = text;
    shown.replace(u"\r\n"_s, u"\n"_s);
    QMessageBox box(iconOf(style.icon), appTitle(), shown, QMessageBox::NoButton, parent);
    // Texts hold paths and messages: a "<b>" or "&lt;" in them is shown as typed.
    box.setTextFormat(Qt::PlainText);
    struct Choice
    {
        BoxAnswer answer;
        const char *caption;
        QMessageBox::ButtonRole role;
    };
    QList<Choice> choices;
    switch (style.buttons) {
    case BoxButtons::AbortRetryIgnore:
        choices = {{BoxAnswer::Abort, "Прервать", QMessageBox::RejectRole},
                   {BoxAnswer::Retry, "Повторить", QMessageBox::AcceptRole},
                   {BoxAnswer::Ignore, "Пропустить", QMessageBox::DestructiveRole}};
        break;
    case BoxButtons::YesNoCancel:
        choices = {{BoxAnswer::Yes, "Да", QMessageBox::YesRole},
                   {BoxAnswer::No, "Нет", QMessageBox::NoRole},
                   {BoxAnswer::Cancel, "Отмена", QMessageBox::RejectRole}};
        break;
    case BoxButtons::Ok:
        choices = {{BoxAnswer::Ok, "OK", QMessageBox::AcceptRole}};
    }
    QList<QPair<QAbstractButton *, BoxAnswer>> buttons;
    for (const Choice &choice : choices)
        buttons.append(
            {box.addButton(QString::fromUtf8(choice.caption), choice.role), choice.answer});
    box.setDefaultButton(qobject_cast<QPushButton *>(buttons.first().first));
    box.exec();
    for (const auto &[button, answer] : buttons) {
        if (box.clickedButton() == button)
            return answer;
    }
    return style.buttons == BoxButtons::Ok ? BoxAnswer::Ok : BoxAnswer::Cancel;
}

#ifdef QUILLET_TEST_HOOKS
QString escapeForLog(QString text)
{
    text.replace('\\'_L1, "\\\\"_L1);
    text.replace('\r'_L1, "\\r"_L1);
    text.replace('\n'_L1, "\\n"_L1);
    return text;
}
#endif

} // namespace

BoxAnswer Boxes::message(QWidget *parent, const QString &text, BoxStyle style)
{
    if (handler())
        return handler()(BoxRequest{BoxRequest::Kind::Message, text, style, {}}).button;
    return showMessageBox(parent, text, style);
}

QString Boxes::input(QWidget *parent, const QString &prompt, const QString &offered)
{
    if (handler())
        return handler()(BoxRequest{BoxRequest::Kind::Input, prompt, {}, offered}).text;
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

BoxAnswer Boxes::showError(QWidget *parent, const Error &error, BoxStyle style, const QString &text)
{
    const QString details =
        u"\r\n\r\nКод %1\r\n%2"_s.arg(errorNumberText(error.number), error.description);
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
        qEnvironmentVariable("QUILLET_BOX_ANSWERS").split(','_L1, Qt::SkipEmptyParts);
    setHandler([logPath, answers](const BoxRequest &request) mutable {
        QFile log(logPath);
        if (log.open(QIODevice::Append)) {
            const QString line = u"%1\t%2\t%3\n"_s.arg(
                request.kind == BoxRequest::Kind::Input ? u"input"_s
                                                        : QString::number(request.style.number()),
                escapeForLog(request.text), escapeForLog(request.offered));
            log.write(line.toUtf8());
        }
        BoxReply reply{firstButtonOf(request.style.buttons), request.offered};
        if (!answers.isEmpty()) {
            const QString next = answers.takeFirst();
            reply.button = BoxAnswer(next.toInt());
            reply.text = next;
        }
        return reply;
    });
}
#endif

} // namespace quillet
