#pragma once

#include "logsviewer/logsearch.h"

#include <QList>
#include <QString>
#include <QWidget>

class QLabel;
class QLineEdit;
class QTimer;
class QTreeWidget;

namespace quillet {

// The search field of the logs viewer and the list of what it found in every log
// of the chat. Typing searches after a short pause; results are listed as they
// arrive, newest log first, and the chosen one is announced for the viewer to show.
class LogSearchPanel final : public QWidget
{
    Q_OBJECT

public:
    // Item data of the results list, so that a result can be told from its row.
    enum Role
    {
        LogPathRole = Qt::UserRole,
        PositionRole, // the match in the log's plain text
        LengthRole,
        LineOffsetRole, // the match in the row's line
    };

    explicit LogSearchPanel(QWidget *parent = nullptr);
    ~LogSearchPanel() override;
    Q_DISABLE_COPY_MOVE(LogSearchPanel)

    void setLogsFolder(const QString &folder);
    // The query of the results listed (or being searched for).
    QString query() const { return m_query; }
    void focusField();
    // Stops the search under way; the results so far stay listed.
    void cancel();
    // Makes the row of the match at `position` of `logPath` current, without choosing it again.
    void markCurrent(const QString &logPath, qsizetype position);

signals:
    void resultChosen(const LogSearchResult &result);

private:
    void startSearch();
    void addResults(const QList<LogSearchResult> &results);
    void showFinished(bool limited);
    void chooseCurrent();

    QLineEdit *txtSearch = nullptr;
    QLabel *lblSearchStatus = nullptr;
    QTreeWidget *lstResults = nullptr;

    LogSearch *m_search = nullptr;
    QTimer *m_debounce = nullptr;
    QString m_logsFolder;
    QString m_query;
    QList<LogSearchResult> m_results;
    int m_found = 0;
};

} // namespace quillet
