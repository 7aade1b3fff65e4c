#include "login/chatselectionwindow.h"

#include <QKeyEvent>
#include <QLabel>

#include "core/settingsstore.h"
#include "core/support.h"
#include "core/textfile.h"
#include "gui/boxes.h"
#include "gui/dialogs.h"
#include "gui/fonts.h"
#include "gui/picturebutton.h"
#include "gui/placement.h"
#include "gui/resources.h"

namespace quillet {

using namespace Qt::StringLiterals;

namespace {

const QString PathsSection = u"OFN Paths"_s;
const QString CreateFolderKey = u"Laste Create File Directory"_s;
const QString OpenFolderKey = u"Laste Open File Directory"_s;

QString rememberedFolder(const QString &key)
{
    return SettingsStore().loadValue(PathsSection, key, ValueKind::Text).toString();
}

// Remembering the folder is a convenience: a store that cannot be written
// must not keep the user from the chat.
void rememberFolder(const QString &key, const QString &path)
{
    const Status saved =
        SettingsStore().saveValue(PathsSection, key, ValueKind::Text, parentFolder(path));
    if (!saved)
        qWarning("cannot remember the folder: %s", qPrintable(saved.error().description));
}

const char CreateDescription[] =
    "Эту кнопку следует нажимать, если чат ещё никто не создал или вы хотите создать другой "
    "чат. Перед тем как нажать её, откройте папку Quillet, создайте в ней новую папку с "
    "каким-нибудь понятным именем вроде \"Чат с семьёй\" и сделайте её общей. Пригласите в "
    "неё всех, кто долежен принять участие в чате. После этого кнопку можно нажимать - "
    "появится окно, в котором вам нужно выбрать созданную общую папку и сохранить файл чата "
    "с именем вроде \"Беседа\". После этого другие участники чата смогут в него войти, открыв "
    "этот файл.";

const char OpenDescription[] =
    "Нажмите эту кнопку чтобы войти в чат, ранее созданный в общей папке Quillet. Кстати! Ещё "
    "быстрее это можно сделать, открыв папку и дважды щёлкнув на файле чата - у него будет "
    "иконка как у этой программы.";

} // namespace

ChatSelectionWindow::ChatSelectionWindow(QWidget *parent) : QWidget(parent)
{
    setObjectName(u"ChatSelectionWindow"_s);
    setWindowTitle(u"Quillet IM :: Вход в систему"_s);
    setFont(programFont());
    setFixedSize(489, 317);
    createWidgets();
    load();
}

QString ChatSelectionWindow::chatFileFilter()
{
    return u"Файлы чата (*.QLIMChat);;Все файлы (*)"_s;
}

QLabel *ChatSelectionWindow::tag(int index, const QRect &geometry, const QString &text)
{
    auto *label = new QLabel(text, this);
    label->setObjectName(u"lblTag%1"_s.arg(index));
    label->setGeometry(geometry);
    m_lblTag.append(label);
    return label;
}

void ChatSelectionWindow::createWidgets()
{
    const auto button = [this](const char *name, int top) {
        auto *created = new PictureButton(this);
        created->setObjectName(QLatin1String(name));
        created->setGeometry(12, top, 45, 45);
        return created;
    };
    m_ucbCreateChat = button("ucbCreateChat", 12);
    tag(0, QRect(68, 12, 107, 14), u"Создать файл чата"_s);
    tag(1, QRect(68, 32, 411, 126), QString::fromUtf8(CreateDescription))->setWordWrap(true);
    m_ucbOpenChat = button("ucbOpenChat", 172);
    tag(2, QRect(68, 172, 111, 14), u"Открыть файл чата"_s);
    tag(3, QRect(68, 192, 411, 56), QString::fromUtf8(OpenDescription))->setWordWrap(true);
    m_ucbExit = button("ucbExit", 260);
    tag(4, QRect(68, 260, 118, 14), u"Выход из программы"_s);

    // A screen reader names each button by the heading beside it and reads the
    // description under the heading as the button's description.
    PictureButton *const buttons[] = {m_ucbCreateChat, m_ucbOpenChat, m_ucbExit};
    for (int i = 0; i < 3; ++i)
        m_lblTag[i * 2]->setBuddy(buttons[i]);
    m_ucbCreateChat->setAccessibleDescription(m_lblTag[1]->text());
    m_ucbOpenChat->setAccessibleDescription(m_lblTag[3]->text());

    connect(m_ucbCreateChat, &PictureButton::clicked, this, [this] { createChat(); });
    connect(m_ucbOpenChat, &PictureButton::clicked, this, [this] { openChat(); });
    connect(m_ucbExit, &PictureButton::clicked, this, [this] { close(); });
}

void ChatSelectionWindow::load()
{
    centerOnScreen(this);
    setWindowIconFromResource(this, u"A_MAIN"_s);
    loadButtonPictures();
    setLabelFonts();
}

void ChatSelectionWindow::loadButtonPictures()
{
    m_ucbCreateChat->setPictureFromResource(u"IDP_NEW_SESSION"_s);
    m_ucbOpenChat->setPictureFromResource(u"IDP_OPEN_SESSION"_s);
    m_ucbExit->setPictureFromResource(u"IDP_EXIT"_s);
}

// The headings are bold and as wide as their text, whatever font stands in for Tahoma.
void ChatSelectionWindow::setLabelFonts()
{
    for (int index : {0, 2, 4}) {
        QLabel *heading = m_lblTag[index];
        QFont bold = heading->font();
        bold.setBold(true);
        heading->setFont(bold);
        heading->resize(heading->sizeHint());
    }
}

void ChatSelectionWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void ChatSelectionWindow::createChat()
{
    FileDialog dialog;
    dialog.setFilter(chatFileFilter());
    dialog.setOwnerWindow(this);
    dialog.setInitialFolder(rememberedFolder(CreateFolderKey));
    if (!dialog.showSave())
        return;
    const QString path = absolutePath(dialog.fileName());
    // Remembered before writing, so the folder is offered again even when writing fails.
    rememberFolder(CreateFolderKey, path);
    if (const Status created = TextFile::writeText(path, QString()); !created) {
        Boxes::showError(this, created.error(), BoxStyle{BoxButtons::Ok, BoxIcon::Stop},
                         u"Не удалось создать файл чата."_s);
        return;
    }
    enterChat(path);
}

void ChatSelectionWindow::openChat()
{
    FileDialog dialog;
    dialog.setFilter(chatFileFilter());
    dialog.setOwnerWindow(this);
    dialog.setInitialFolder(rememberedFolder(OpenFolderKey));
    if (!dialog.showOpen())
        return;
    const QString path = absolutePath(dialog.fileName());
    rememberFolder(OpenFolderKey, path);
    enterChat(path);
}

void ChatSelectionWindow::enterChat(const QString &path)
{
    emit chatChosen(path);
}

} // namespace quillet
