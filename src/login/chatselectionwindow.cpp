#include "login/chatselectionwindow.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QVBoxLayout>

#include "core/settingsstore.h"
#include "core/support.h"
#include "core/textfile.h"
#include "gui/boxes.h"
#include "gui/dialogs.h"
#include "gui/layout.h"
#include "gui/picturebutton.h"
#include "gui/placement.h"
#include "gui/resources.h"

namespace quillet {

using namespace Qt::StringLiterals;

namespace {

const QString PathsSection = u"OFN Paths"_s;
const QString CreateFolderKey = u"Laste Create File Directory"_s;
const QString OpenFolderKey = u"Laste Open File Directory"_s;

// The window's design, in pixels at 96 dpi; a text grows where the desktop's
// font needs more room.
constexpr int ButtonSide = 45;
constexpr int ButtonSpacing = 11;
constexpr int HeadingSpacing = 6;
constexpr int DescriptionWidth = 411;
constexpr int CreateRowSpacing = 14;
constexpr int OpenRowSpacing = 12;

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
    createWidgets();
    load();
}

QString ChatSelectionWindow::chatFileFilter()
{
    return u"Файлы чата (*.QLIMChat);;Все файлы (*)"_s;
}

QLabel *ChatSelectionWindow::tag(int index, const QString &text)
{
    // The descriptions (odd indexes) wrap; the headings are as wide as their text.
    auto *label =
        index % 2 ? new WrappedLabel(text, DescriptionWidth, this) : new QLabel(text, this);
    label->setObjectName(u"lblTag%1"_s.arg(index));
    m_lblTag.append(label);
    return label;
}

void ChatSelectionWindow::createWidgets()
{
    const auto button = [this](const char *name) {
        auto *created = new PictureButton(this);
        created->setObjectName(QLatin1String(name));
        created->setSide(ButtonSide);
        return created;
    };
    m_ucbCreateChat = button("ucbCreateChat");
    tag(0, u"Создать файл чата"_s);
    tag(1, QString::fromUtf8(CreateDescription));
    m_ucbOpenChat = button("ucbOpenChat");
    tag(2, u"Открыть файл чата"_s);
    tag(3, QString::fromUtf8(OpenDescription));
    m_ucbExit = button("ucbExit");
    tag(4, u"Выход из программы"_s);
    layOut();

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

// One row per button: the picture button, beside it its heading and under
// that its description. The window is as large as its content.
void ChatSelectionWindow::layOut()
{
    auto *window = new QVBoxLayout(this);
    window->setContentsMargins(12, 12, 10, 12);
    window->setSpacing(0);
    window->setSizeConstraint(QLayout::SetFixedSize);
    PictureButton *const buttons[] = {m_ucbCreateChat, m_ucbOpenChat, m_ucbExit};
    const int spacingAfter[] = {CreateRowSpacing, OpenRowSpacing};
    for (int row = 0; row < 3; ++row) {
        auto *texts = new QVBoxLayout;
        texts->setSpacing(HeadingSpacing);
        texts->addWidget(m_lblTag[row * 2]);
        if (row < 2)
            texts->addWidget(m_lblTag[row * 2 + 1]);
        texts->addStretch(1);
        auto *line = new QHBoxLayout;
        line->setSpacing(ButtonSpacing);
        line->addWidget(buttons[row], 0, Qt::AlignTop);
        line->addLayout(texts, 1);
        window->addLayout(line);
        if (row < 2)
            window->addSpacing(spacingAfter[row]);
    }
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

// The headings are bold.
void ChatSelectionWindow::setLabelFonts()
{
    for (int index : {0, 2, 4}) {
        QLabel *heading = m_lblTag[index];
        QFont bold = heading->font();
        bold.setBold(true);
        heading->setFont(bold);
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
    dialog.setDefaultSuffix(u"QLIMChat"_s); // for a name typed without one
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
