#pragma once

#include <QFont>
#include <QString>
#include <QWidget>

class QLabel;
class QListWidget;
class QPushButton;
class QTextDocument;
class QTextEdit;

namespace quillet {

class LogLoader;

// Shows the one logs viewer of the program: not modal, without owner, created
// on first use. An open viewer is only shown and raised, not reloaded; after
// it was closed, the next call loads it afresh.
void showLogsViewer();

// Lists the conversation logs of the current chat, shows the chosen one and
// the total size of all of them, and opens the logs folder in the desktop's
// file manager. It only reads: no log and no folder is ever created or changed.
class LogsViewer final : public QWidget
{
    Q_OBJECT

public:
    explicit LogsViewer(QWidget *parent = nullptr);
    ~LogsViewer() override;
    Q_DISABLE_COPY_MOVE(LogsViewer)

    // The viewer currently open, or null.
    static LogsViewer *instance();

    // The window's font: Tahoma 9 pt when installed, else the desktop's sans-serif at 9 pt.
    static QFont viewerFont();

    // True from the selection of a log until it is shown.
    bool isLoadingLog() const;

signals:
    // A selected log, or its error text, is now in the view.
    void logShown();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createWidgets();
    void load();
    void unload();
    void fillLogsList();
    void showSelectedLog();
    void openLogsFolder();
    void closeViewer();
    void installEventFilters();
    void removeEventFilters();
    void restorePlacement();
    void savePlacement();
    bool forwardWheelToLog(QEvent *event);
    void showLog(const QString &path);
    void takeLog(QTextDocument *document);

    QListWidget *lstFiles = nullptr;
    QTextEdit *rtfLog = nullptr;
    QLabel *lblTag = nullptr;
    QPushButton *cmdOpenLogsFolder = nullptr;
    QPushButton *cmdClose = nullptr;

    QString m_logsFolder;
    QString m_tagCaption;
    bool m_unloaded = false;
    bool m_rowChangedByPress = false; // the press of the click being made selected a new row
    QList<QWidget *> m_hooked;
    LogLoader *m_loader = nullptr;
    QTextDocument *m_document = nullptr; // the log shown, once one was selected
};

} // namespace quillet
