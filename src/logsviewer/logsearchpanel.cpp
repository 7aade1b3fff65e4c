#include "logsviewer/logsearchpanel.h"

#include "core/support.h"
#include "logsviewer/logdocument.h"

#include <QApplication>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QTreeWidget>

using namespace Qt::StringLiterals;

namespace quillet {

namespace {

// A pause in typing this long starts the search: a search per keystroke would
// only be cancelled by the next one.
constexpr int DebounceMs = 300;

enum Column
{
    LogColumn,
    MessageColumn,
    LineColumn
};

// Paints a result's line with its match marked, and keeps the match in sight
// when the line is wider than the column.
class MatchDelegate final : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        const QVariant offset = index.data(LogSearchPanel::LineOffsetRole);
        if (!offset.isValid()) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QString line = opt.text;
        opt.text.clear();
        QStyle *style = opt.widget ? opt.widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);

        const QRect rect = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, opt.widget)
                               .adjusted(3, 0, -3, 0);
        const qsizetype start = qBound<qsizetype>(0, offset.toLongLong(), line.size());
        const qsizetype length = qBound<qsizetype>(
            0, index.data(LogSearchPanel::LengthRole).toLongLong(), line.size() - start);
        QFont matchFont = opt.font;
        matchFont.setBold(true);
        const QFontMetrics plain(opt.font);
        const QFontMetrics bold(matchFont);

        QString match = line.mid(start, length);
        int matchWidth = bold.horizontalAdvance(match);
        if (matchWidth > rect.width()) {
            match = bold.elidedText(match, Qt::ElideRight, rect.width());
            matchWidth = bold.horizontalAdvance(match);
        }
        const QString after = line.mid(start + length);
        const int room = rect.width() - matchWidth;
        const int afterWanted = qMin(plain.horizontalAdvance(after), room / 2);
        const QString before =
            plain.elidedText(line.left(start), Qt::ElideLeft, qMax(0, room - afterWanted));
        const int beforeWidth = plain.horizontalAdvance(before);
        const QString shownAfter =
            plain.elidedText(after, Qt::ElideRight, qMax(0, room - beforeWidth));

        painter->save();
        painter->setClipRect(rect);
        const bool selected = opt.state & QStyle::State_Selected;
        painter->setPen(opt.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
        painter->setFont(opt.font);
        QRect part = rect;
        const int flags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine;
        painter->drawText(part, flags, before);
        part.setLeft(part.left() + beforeWidth);
        painter->fillRect(QRect(part.left(), rect.top() + 1, matchWidth, rect.height() - 2),
                          QColor(255, 214, 64));
        painter->setPen(QColor(0, 0, 0));
        painter->setFont(matchFont);
        painter->drawText(part, flags, match);
        part.setLeft(part.left() + matchWidth);
        painter->setPen(opt.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
        painter->setFont(opt.font);
        painter->drawText(part, flags, shownAfter);
        painter->restore();
    }
};

QString logCaption(const LogSearchResult &result)
{
    return result.logTime.isValid() ? result.logTime.toString(u"dd.MM.yyyy HH:mm:ss"_s)
                                    : fileNameOf(result.logPath);
}

QString messageCaption(const LogSearchResult &result)
{
    if (!result.messageTime.isValid())
        return result.sender;
    // The date only when it is not the log's own: a log runs past midnight at most.
    const bool sameDay =
        result.logTime.isValid() && result.logTime.date() == result.messageTime.date();
    const QString time =
        result.messageTime.toString(sameDay ? u"HH:mm:ss"_s : u"HH:mm:ss dd.MM.yyyy"_s);
    return result.sender.isEmpty() ? time : result.sender + u", "_s + time;
}

} // namespace

LogSearchPanel::LogSearchPanel(QWidget *parent) : QWidget(parent)
{
    setObjectName(u"searchPanel"_s);

    txtSearch = new QLineEdit(this);
    txtSearch->setObjectName(u"txtSearch"_s);
    const QString prompt = u"Найти во всех логах чата"_s;
    txtSearch->setPlaceholderText(prompt);
    txtSearch->setAccessibleName(prompt);
    txtSearch->setClearButtonEnabled(true);

    lblSearchStatus = new QLabel(this);
    lblSearchStatus->setObjectName(u"lblSearchStatus"_s);

    lstResults = new QTreeWidget(this);
    lstResults->setObjectName(u"lstResults"_s);
    lstResults->setAccessibleName(u"Найденное в логах"_s);
    lstResults->setColumnCount(3);
    lstResults->setHeaderLabels({u"Лог"_s, u"Сообщение"_s, u"Строка"_s});
    lstResults->setRootIsDecorated(false);
    lstResults->setUniformRowHeights(true);
    lstResults->setAllColumnsShowFocus(true);
    lstResults->setSelectionMode(QAbstractItemView::SingleSelection);
    lstResults->setItemDelegateForColumn(LineColumn, new MatchDelegate(lstResults));
    lstResults->header()->setStretchLastSection(true);
    lstResults->setColumnWidth(LogColumn, 125);
    lstResults->setColumnWidth(MessageColumn, 125);

    auto *layout = new QGridLayout(this);
    layout->setContentsMargins(4, 0, 5, 4);
    layout->setSpacing(4);
    layout->addWidget(txtSearch, 0, 0);
    layout->addWidget(lblSearchStatus, 0, 1);
    layout->addWidget(lstResults, 1, 0, 1, 2);
    layout->setColumnStretch(0, 3);
    layout->setColumnStretch(1, 2);

    m_search = new LogSearch(this);
    m_debounce = new QTimer(this);
    m_debounce->setSingleShot(true);
    m_debounce->setInterval(DebounceMs);

    connect(m_debounce, &QTimer::timeout, this, [this] { startSearch(); });
    connect(txtSearch, &QLineEdit::textChanged, this, [this] {
        // Results of the query being replaced must not trickle in meanwhile.
        m_search->cancel();
        m_debounce->start();
    });
    connect(txtSearch, &QLineEdit::returnPressed, this, [this] {
        if (m_debounce->isActive()) {
            m_debounce->stop();
            startSearch();
        }
        if (lstResults->topLevelItemCount() > 0) {
            if (!lstResults->currentItem())
                lstResults->setCurrentItem(lstResults->topLevelItem(0));
            lstResults->setFocus();
        }
    });
    connect(m_search, &LogSearch::resultsFound, this,
            [this](const QList<LogSearchResult> &results) { addResults(results); });
    connect(m_search, &LogSearch::finished, this, [this](bool limited) { showFinished(limited); });
    connect(lstResults, &QTreeWidget::currentItemChanged, this, [this] { chooseCurrent(); });
    // A click on the current row shows its match again, after the view was scrolled away.
    connect(lstResults, &QTreeWidget::itemClicked, this, [this] { chooseCurrent(); });
    connect(lstResults, &QTreeWidget::itemActivated, this, [this] { chooseCurrent(); });
}

LogSearchPanel::~LogSearchPanel() = default;

void LogSearchPanel::setLogsFolder(const QString &folder)
{
    m_logsFolder = folder;
}

void LogSearchPanel::focusField()
{
    txtSearch->setFocus(Qt::ShortcutFocusReason);
    txtSearch->selectAll();
}

void LogSearchPanel::cancel()
{
    m_debounce->stop();
    m_search->cancel();
}

void LogSearchPanel::startSearch()
{
    m_query = txtSearch->text();
    lstResults->clear();
    m_results.clear();
    m_found = 0;
    if (LogTextSearch::fold(m_query).trimmed().isEmpty()) {
        m_search->cancel();
        lblSearchStatus->clear();
        return;
    }
    lblSearchStatus->setText(u"Поиск…"_s);
    m_search->start(m_logsFolder, m_query);
}

void LogSearchPanel::addResults(const QList<LogSearchResult> &results)
{
    QList<QTreeWidgetItem *> items;
    items.reserve(results.size());
    for (const LogSearchResult &result : results) {
        auto *item = new QTreeWidgetItem;
        item->setText(LogColumn, logCaption(result));
        item->setToolTip(LogColumn, fileNameOf(result.logPath));
        item->setData(LogColumn, LogPathRole, result.logPath);
        if (result.error) {
            // Listed as the viewer shows an unreadable log: its error, red and bold.
            const QString error = formatLogError(*result.error);
            item->setText(LineColumn, QString(error).replace(u'\n', u' '));
            item->setToolTip(LineColumn, error);
            QFont font = lstResults->font();
            font.setBold(true);
            for (int column = 0; column < lstResults->columnCount(); ++column) {
                item->setForeground(column, QColor(255, 0, 0));
                item->setFont(column, font);
            }
        } else {
            ++m_found;
            item->setText(MessageColumn, messageCaption(result));
            item->setText(LineColumn, result.line);
            item->setToolTip(LineColumn, result.line);
            item->setData(LogColumn, PositionRole, qlonglong(result.position));
            item->setData(LogColumn, LengthRole, qlonglong(result.length));
            item->setData(LineColumn, LineOffsetRole, qlonglong(result.lineOffset));
            item->setData(LineColumn, LengthRole, qlonglong(result.length));
        }
        items.append(item);
        m_results.append(result);
    }
    lstResults->addTopLevelItems(items);
    lblSearchStatus->setText(u"Поиск… найдено: %1"_s.arg(m_found));
}

void LogSearchPanel::showFinished(bool limited)
{
    if (m_found == 0)
        lblSearchStatus->setText(u"Ничего не найдено"_s);
    else if (limited)
        lblSearchStatus->setText(u"Найдено: первые %1"_s.arg(m_found));
    else
        lblSearchStatus->setText(u"Найдено: %1"_s.arg(m_found));
}

void LogSearchPanel::chooseCurrent()
{
    const int row = lstResults->indexOfTopLevelItem(lstResults->currentItem());
    if (row >= 0 && row < m_results.size())
        emit resultChosen(m_results.at(row));
}

void LogSearchPanel::markCurrent(const QString &logPath, qsizetype position)
{
    for (int row = 0; row < m_results.size(); ++row) {
        const LogSearchResult &result = m_results.at(row);
        if (!result.error && result.position == position && result.logPath == logPath) {
            const QSignalBlocker blocker(lstResults);
            lstResults->setCurrentItem(lstResults->topLevelItem(row));
            lstResults->scrollToItem(lstResults->currentItem());
            return;
        }
    }
}

} // namespace quillet
