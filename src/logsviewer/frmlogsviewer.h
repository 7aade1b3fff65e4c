#pragma once

#include <QFont>
#include <QString>
#include <QWidget>

class QLabel;
class QListWidget;
class QPushButton;
class QTextEdit;

// Shows the one logs viewer of the program: not modal, without owner, created
// on first use. An open viewer is only shown and raised, not reloaded; after
// it was closed, the next call loads it afresh.
void ShowLogsViewer();

// Lists the conversation logs of the current chat, shows the chosen one and
// the total size of all of them, and opens the logs folder in the desktop's
// file manager. It only reads: no log and no folder is ever created or changed.
class frmLogsViewer final : public QWidget
{
    Q_OBJECT

public:
    explicit frmLogsViewer(QWidget *parent = nullptr);
    ~frmLogsViewer() override;
    Q_DISABLE_COPY_MOVE(frmLogsViewer)

    // The viewer currently open, or null.
    static frmLogsViewer *instance();

    // The window's font: Tahoma 9 pt when installed, else the desktop's sans-serif at 9 pt.
    static QFont viewerFont();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createWidgets();
    void Form_Load();
    void Form_Unload();
    void FillLogsList();
    void lstFiles_Click();
    void cmdOpenLogsFolder_Click();
    void cmdClose_Click();
    void StartSubclassing();
    void StopSubclassing();
    void LoadViewerPlacement();
    void SaveViewerPlacement();
    bool forwardWheelToLog(QEvent *event);
    void showLog(const QString &path);

    QListWidget *lstFiles = nullptr;
    QTextEdit *rtfLog = nullptr;
    QLabel *lblTag = nullptr;
    QPushButton *cmdOpenLogsFolder = nullptr;
    QPushButton *cmdClose = nullptr;

    QString m_logsFolder;
    QString m_tagCaption;
    bool m_unloaded = false;
    QList<QWidget *> m_hooked;
};
