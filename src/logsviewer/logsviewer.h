#pragma once

#include "logsviewer/logsearch.h"

#include <QFont>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <optional>
#include <utility>

class QAbstractScrollArea;
class QAction;
class QLabel;
class QListWidget;
class QPushButton;
class QTextDocument;
class QTextEdit;

namespace quillet {

class LogLoader;
class LogSearchPanel;

// Shows the one logs viewer of the program: not modal, without owner, created
// on first use. An open viewer is only shown and raised, not reloaded; after
// it was closed, the next call loads it afresh.
void showLogsViewer(const QString &chatFile);

// Lists the conversation logs of a chat, shows the chosen one and
// the total size of all of them, and opens the logs folder in the desktop's
// file manager. It only reads: no log and no folder is ever created or changed.
class LogsViewer final : public QWidget
{
    Q_OBJECT

public:
    explicit LogsViewer(const QString &chatFile, QWidget *parent = nullptr);
    ~LogsViewer() override;
    Q_DISABLE_COPY_MOVE(LogsViewer)

    // The viewer currently open, or null.
    static LogsViewer *instance();

    // True from the selection of a log until it is shown.
    bool isLoadingLog() const;

    // The search in every log of the chat, shown below the list and the log,
    // which grows the window while it is open.
    void openSearch();
    void closeSearch();
    bool isSearchOpen() const;

signals:
    // A selected log, or its error text, is now in the view.
    void logShown();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createWidgets();
    void layOut();
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
    void showLog(const QString &path);
    void takeLog(QTextDocument *document);
    void escapePressed();
    void showResult(const LogSearchResult &result);
    void selectMatch(qsizetype position, qsizetype length);
    void goToMatch(bool forward);
    void showContextMenu(QAbstractScrollArea *area, const QPoint &pos);

    QListWidget *lstFiles = nullptr;
    QTextEdit *rtfLog = nullptr;
    QLabel *lblTag = nullptr;
    QPushButton *cmdOpenLogsFolder = nullptr;
    QPushButton *cmdClose = nullptr;

    QString m_chatFile;
    QString m_logsFolder;
    QString m_tagCaption;
    bool m_unloaded = false;
    bool m_rowChangedByPress = false; // the press of the click being made selected a new row
    QList<QWidget *> m_hooked;
    LogLoader *m_loader = nullptr;
    QTextDocument *m_document = nullptr; // the log shown, once one was selected
    QString m_requestedPath;             // the log asked of the loader last
    QString m_shownPath;                 // the log in m_document

    LogSearchPanel *m_searchPanel = nullptr;
    QAction *m_findAction = nullptr;
    QPointer<QWidget> m_focusBeforeSearch;
    std::optional<std::pair<QPoint, QPoint>> m_shiftedFrom; // moved up by the search: from, to
    // The match to select once the log being read is shown.
    struct PendingMatch
    {
        QString path;
        qsizetype position = 0;
        qsizetype length = 0;
    };
    std::optional<PendingMatch> m_pendingMatch;
    // The matches in the log shown, for F3 and Shift+F3, and the query they are of.
    QList<LogSearchResult> m_matches;
    std::optional<QString> m_matchesQuery;
};

} // namespace quillet
