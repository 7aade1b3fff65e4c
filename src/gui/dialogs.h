#pragma once

#include <QColor>
#include <QList>
#include <QString>

#include <functional>

class QWidget;

namespace quillet {

// The program's colours are 0x00BBGGRR values (red in the lowest byte).
QColor colorFromRgbValue(qint32 value);
qint32 rgbValueFromColor(const QColor &color);

// The program's file dialog. Tests answer it with
// setHandler instead of a person, as they answer Boxes.
class FileDialog final
{
public:
    enum class Mode
    {
        Save,
        Open
    };
    struct Request
    {
        Mode mode = Mode::Open;
        QString filter;        // Qt form: "Name (*.ext);;Other (*)"
        QString initialFolder; // or a file in it, offered by name
        QString defaultSuffix; // given to a name typed without one
        QWidget *owner = nullptr;
    };
    struct Reply
    {
        bool confirmed = false;
        QString fileName; // full path of the chosen file
    };
    using Handler = std::function<Reply(const Request &)>;

    FileDialog() = default;
    Q_DISABLE_COPY_MOVE(FileDialog)

    void setFilter(const QString &filter) { m_request.filter = filter; }
    void setOwnerWindow(QWidget *owner) { m_request.owner = owner; }
    void setInitialFolder(const QString &folder) { m_request.initialFolder = folder; }
    void setDefaultSuffix(const QString &suffix) { m_request.defaultSuffix = suffix; }
    // Each returns true when the user confirmed a file; fileName() then holds its path.
    bool showSave();
    bool showOpen();
    QString fileName() const { return m_fileName; }

    static void setHandler(Handler handler);
    static void resetHandler();

private:
    bool show(Mode mode);

    Request m_request;
    QString m_fileName;
};

// The colour dialog. The custom colours travel as one text of sixteen
// decimal 0x00BBGGRR values separated by commas.
class ColorDialog final
{
public:
    static constexpr int CustomColorCount = 16;

    struct Request
    {
        QColor color = Qt::black;
        QString customColors;
        QWidget *owner = nullptr;
    };
    struct Reply
    {
        bool confirmed = false;
        QColor color;
        QString customColors;
    };
    using Handler = std::function<Reply(const Request &)>;

    ColorDialog() = default;
    Q_DISABLE_COPY_MOVE(ColorDialog)

    void setOwnerWindow(QWidget *owner) { m_request.owner = owner; }
    void setColor(const QColor &color) { m_request.color = color; }
    QColor color() const { return m_request.color; }
    void setCustomColorsText(const QString &text) { m_request.customColors = text; }
    QString customColorsText() const { return m_request.customColors; }
    // Modal over the owner; true when the user confirmed a colour. Only then
    // do Color() and customColorsText() take the user's choice.
    bool exec();

    // The text form of a custom colour list. Unreadable entries and missing
    // ones stand for white, the dialog's own empty slot.
    static QList<qint32> parseCustomColors(const QString &text);
    static QString formatCustomColors(const QList<qint32> &colors);

    static void setHandler(Handler handler);
    static void resetHandler();

private:
    Request m_request;
};

} // namespace quillet
