#include "chatwindow/messagerenderer.h"

#include "chatwindow/attachmentlines.h"

#include "core/support.h"
#include "core/textfile.h"
#include "documentruns.h"
#include "gui/boxes.h"
#include "gui/fonts.h"
#include "logsviewer/logdocument.h"
#include "logsviewer/logsearch.h"
#include "richtext/rtfwriter.h"
#include "settings/settings.h"
#include "testsupport.h"

#include <ctime>

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTextBlock>
#include <QTextEdit>
#include <QtEndian>

using namespace quillet;
using namespace Qt::StringLiterals;

namespace {

const QString Guid = u"{6F9619FF-8B86-D011-B42D-00C04FC964FF}"_s;

QByteArray pictureBytes(QSize size, const char *format)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

Attachment entryFor(const QString &name, const QByteArray &bytes, const QString &type)
{
    const QByteArray hash = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
    return {attachmentFolder(Guid) + u'/' + name, bytes.size(), hash, type, {}};
}

// The images of a paragraph: their resource names and sizes, and the links they are.
QList<QTextImageFormat> imagesOf(const QTextBlock &block)
{
    QList<QTextImageFormat> images;
    for (auto it = block.begin(); !it.atEnd(); ++it)
        if (it.fragment().charFormat().isImageFormat())
            images.append(it.fragment().charFormat().toImageFormat());
    return images;
}

// The anchors of a document as "text => address", or "text => local file".
QStringList anchorsOf(const QTextDocument &document, bool localFiles = false)
{
    QStringList anchors;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            if (const QTextCharFormat format = it.fragment().charFormat(); format.isAnchor())
                anchors.append(
                    it.fragment().text() + u" => "_s +
                    (localFiles ? QUrl(format.anchorHref()).toLocalFile() : format.anchorHref()));
    return anchors;
}

} // namespace

class tst_MessageRenderer final : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnvironment> m_env;
    QString m_chatFile;
    std::unique_ptr<QTextEdit> m_view;
    std::unique_ptr<MessageRenderer> m_renderer;
    QList<BoxRequest> m_boxes;

    // The log as the logs viewer reads it back.
    std::unique_ptr<QTextEdit> readBackLog() const
    {
        auto view = std::make_unique<QTextEdit>();
        const Status read =
            loadLogDocument(m_renderer->logFilePath(), view->document(), conversationFont());
        return read.ok() ? std::move(view) : nullptr;
    }

    void render(const QString &name = u"guest"_s, const QString &text = u"Hello"_s,
                MessageKind kind = MessageKind::Other, const QList<Attachment> &files = {})
    {
        m_renderer->renderMessage({{name, text, Clock::utcMessageTime(), kind, files}, {}});
    }

    QString logs() const { return logsFolder(m_chatFile, true).value(); }

private slots:
    void init()
    {
        qputenv("TZ", "MSK-3");
        tzset();
        m_env = std::make_unique<TestEnvironment>();
        m_chatFile = m_env->path(u"chats/Room.QLIMChat"_s);
        appSettings() = SettingsRecord();
        Clock::setFixedUtc(QDateTime(QDate(2026, 12, 5), QTime(9, 0, 0), Qt::UTC));
        m_view = std::make_unique<QTextEdit>();
        m_renderer = std::make_unique<MessageRenderer>(m_view.get(), m_view.get(), m_chatFile,
                                                       parentFolder(m_chatFile));
        m_boxes.clear();
        Boxes::setHandler([this](const BoxRequest &request) {
            m_boxes.append(request);
            return BoxReply{BoxAnswer::Abort, {}};
        });
    }
    void cleanup()
    {
        QVERIFY2(m_boxes.isEmpty(), "a box asked the user");
        m_renderer.reset();
        m_view.reset();
        Boxes::resetHandler();
        Clock::reset();
    }

    void scrolling_data()
    {
        QTest::addColumn<bool>("batch");
        QTest::addColumn<bool>("atEnd");
        QTest::newRow("single, at the end") << false << true;
        QTest::newRow("single, scrolled up") << false << false;
        QTest::newRow("batch, at the end") << true << true;
        QTest::newRow("batch, scrolled up") << true << false;
    }

    // At the end the view follows new messages; scrolled up it keeps exactly still.
    void scrolling()
    {
        QFETCH(bool, batch);
        QFETCH(bool, atEnd);
        m_view->resize(300, 200);
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
        for (int i = 0; i < 60; ++i)
            render(u"guest"_s, u"message %1"_s.arg(i));
        QScrollBar *bar = m_view->verticalScrollBar();
        bar->setValue(atEnd ? bar->maximum() : bar->maximum() / 3);
        const int kept = bar->value();
        const int before = bar->maximum();
        if (batch)
            m_renderer->beginBatch();
        for (int i = 0; i < 20; ++i)
            render(u"guest"_s, u"line\r\nline %1"_s.arg(i));
        if (batch)
            m_renderer->endBatch();
        QVERIFY(bar->maximum() > before);
        QCOMPARE(bar->value(), atEnd ? bar->maximum() : kept);
        QVERIFY(m_view->updatesEnabled());
        QVERIFY(m_view->textCursor().atEnd() && !m_view->textCursor().hasSelection());
    }

    // A centred time line comes once five minute boundaries have passed since the
    // last one (the first message starts the count). A log begun in the same second
    // as an earlier run's takes the next free second instead of overwriting it.
    void timeLinesAndLogNames()
    {
        const auto at = [](int minute, int second) {
            Clock::setFixedUtc(QDateTime(QDate(2026, 12, 5), QTime(9, minute, second), Qt::UTC));
        };
        const auto centredLines = [this] {
            const QList<Run> runs = runsOf(*m_view->document());
            return std::count_if(runs.begin(), runs.end(),
                                 [](const Run &run) { return run.alignment == Qt::AlignHCenter; });
        };
        for (const auto &[minute, second, lines] :
             {std::tuple{0, 59, 0}, {4, 59, 0}, {5, 0, 1}, {9, 59, 1}, {10, 0, 2}}) {
            at(minute, second);
            render();
            QCOMPARE(centredLines(), lines);
        }
        const QString first = m_renderer->logFilePath();
        const QByteArray firstBytes = TextFile::readBytes(first).value();
        QCOMPARE(first, logs() + u"/2026-12-05 12-00-59.RTF"_s);

        at(0, 59);
        QTextEdit otherView;
        MessageRenderer otherRun(&otherView, &otherView, m_chatFile, parentFolder(m_chatFile));
        otherRun.renderMessage(
            {{u"guest"_s, u"later run"_s, Clock::utcMessageTime(), MessageKind::Other, {}}, {}});
        QCOMPARE(otherRun.logFilePath(), logs() + u"/2026-12-05 12-01-00.RTF"_s);
        QCOMPARE(TextFile::readBytes(first).value(), firstBytes);

        // The log search reads the headers this renderer writes.
        LogSearch search;
        QSignalSpy found(&search, &LogSearch::resultsFound);
        search.start(logs(), u"later run"_s);
        QTRY_COMPARE(found.count(), 1);
        const auto result = found.at(0).at(0).value<QList<LogSearchResult>>().value(0);
        QCOMPARE(result.sender, u"guest"_s);
        QCOMPARE(result.messageTime, QDateTime(QDate(2026, 12, 5), QTime(12, 0, 59)));
    }

    // A fixed conversation gives the log bytes older copies, WordPad and LibreOffice
    // have always read: both header forms, time lines, colours changed between
    // messages, and texts full of breaks, escapes and characters outside the BMP.
    void logBytesOfAFixedConversation()
    {
        const QString hostile =
            u"}{\\rtf1\\par} tab\tLS\u2028PS\u2029CR\rFDD0\uFDD0end 😀 Ёж \x01\uFFFC\u00A0x"_s;
        const std::tuple<int, MessageKind, QString, QString> messages[] = {
            {0, MessageKind::Other, u" Марина\r\n"_s, u"\r\n Доброе утро!\r\nВторая строка \r\n"_s},
            {1, MessageKind::Own, u" Алексей "_s, hostile},
            {7, MessageKind::System, u" \t\r\n"_s, u""_s},
            {8, MessageKind::Other, u"guest"_s, u"a\r\n\r\nb"_s},
            {20, MessageKind::Own, u"me"_s, u"после смены цвета"_s},
        };
        for (const auto &[minute, kind, name, text] : messages) {
            Clock::setFixedUtc(QDateTime(QDate(2026, 12, 5), QTime(9, minute), Qt::UTC));
            appSettings().nameOnSeparateLine = minute >= 8;
            if (minute == 20)
                appSettings().myNameColor = QColor(0x12, 0x34, 0x56);
            render(name, text, kind);
        }
        QByteArray bytes =
            fileBytes(TestEnvironment::sourceDir() + u"/tests/data/rtf/conversation-log.rtf"_s);
        bytes.replace("@FONT@", m_view->document()->defaultFont().family().toLatin1());
        QCOMPARE(TextFile::readBytes(m_renderer->logFilePath()).value(), bytes);
        QCOMPARE(writeRtf(*m_view->document()), bytes); // the view holds what the log does
        // The log is named after the local time of its first message.
        QCOMPARE(m_renderer->logFilePath(), logs() + u"/2026-12-05 12-00-00.RTF"_s);
    }

    // Addresses are links in the view and in the log, which reads back the same;
    // the text is shown as it came, and no other scheme becomes a link.
    void links()
    {
        const QString text =
            u"см. (https://example.org/a_(b)), www.пример.рф и javascript:alert(1)."_s;
        render(u"guest"_s, text);
        const QStringList anchors = anchorsOf(*m_view->document());
        QCOMPARE(anchors, (QStringList{u"https://example.org/a_(b) => https://example.org/a_(b)"_s,
                                       u"www.пример.рф => http://www.xn--e1afmkfd.xn--p1ai"_s}));
        QVERIFY(m_view->toPlainText().contains(text));

        const auto logView = readBackLog();
        QVERIFY(logView);
        QCOMPARE(anchorsOf(*logView->document()), anchors);
        QCOMPARE(logView->toPlainText(), m_view->toPlainText());
    }

    // Each file gets its line: a picture its thumbnail, a file not there yet a note
    // that goes by itself once it is there whole, a refused one its reason; the
    // log links every file the record names well, as the logs viewer reads it back.
    void attachments()
    {
        const QString folder = parentFolder(m_chatFile);
        const QByteArray png = pictureBytes({800, 600}, "PNG");
        const Attachment picture = entryFor(u"фото.png"_s, png, u"image/png"_s);
        const Attachment late = entryFor(u"отчёт.pdf"_s, "%PDF-1.4", u"application/pdf"_s);
        const Attachment linked = entryFor(u"link.png"_s, png, u"image/png"_s);
        Attachment hostile = entryFor(u"x.txt"_s, "x", u"text/plain"_s);
        hostile.error = Error::make(ErrorCode::AttachmentParentStep);
        m_env->touch(u"chats/"_s + picture.path, png);
        QVERIFY(QFile::link(joinPath(folder, picture.path), joinPath(folder, linked.path)));
        render(u"guest"_s, u"смотри"_s, MessageKind::Other, {picture, late, linked, hostile});
        const auto block = [this](const QString &name) {
            for (QTextBlock b = m_view->document()->begin(); b.isValid(); b = b.next())
                if (b.text().contains(name))
                    return b;
            return QTextBlock();
        };
        QTRY_COMPARE(imagesOf(block(u"фото.png"_s)).size(), 2); // icon and thumbnail
        const QTextImageFormat thumbnail = imagesOf(block(u"фото.png"_s)).last();
        QCOMPARE(QUrl(thumbnail.anchorHref()), QUrl::fromLocalFile(joinPath(folder, picture.path)));
        QVERIFY(block(u"отчёт.pdf"_s).text().endsWith(u"Файл ещё не получен"_s));
        QTRY_VERIFY(block(u"link.png"_s).text().contains(errorDescription(ELOOP)));
        QVERIFY(block(u"x.txt"_s).text().contains(hostile.error.description));

        m_env->touch(u"chats/"_s + late.path, "%PDF-1.4");
        QTRY_VERIFY(!block(u"отчёт.pdf"_s).text().contains(u"не получен"_s));
        QCOMPARE(imagesOf(block(u"отчёт.pdf"_s)).size(), 1);

        const auto logView = readBackLog();
        QVERIFY(logView);
        QCOMPARE(anchorsOf(*logView->document(), true),
                 (QStringList{u"фото.png => "_s + joinPath(folder, picture.path),
                              u"отчёт.pdf => "_s + joinPath(folder, late.path),
                              u"link.png => "_s + joinPath(folder, linked.path)}));
        QVERIFY(logView->toPlainText().contains(hostile.error.description));
    }

    // Thumbnails only of pictures that are whole, of the known formats, not too
    // many pixels, and not reached through a link.
    void thumbnails_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("throughLink");
        QTest::addColumn<QSize>("size");
        const QByteArray jpeg = pictureBytes({1000, 500}, "JPEG");
        QTest::newRow("JPEG, scaled") << jpeg << false << QSize(240, 120);
        QTest::newRow("cut short") << jpeg.first(200) << false << QSize(0, 0);
        QTest::newRow("no picture") << QByteArray("%PDF-1.4") << false << QSize(0, 0);
        QTest::newRow("through a link") << jpeg << true << QSize(0, 0);
        QTest::newRow("other format (TIFF)")
            << pictureBytes({10, 10}, "TIFF") << false << QSize(0, 0);
        // A BMP header of 10,000 x 10,000 pixels: refused before anything is decoded.
        QByteArray huge = pictureBytes({1, 1}, "BMP");
        qToLittleEndian<qint32>(10000, huge.data() + 18);
        qToLittleEndian<qint32>(10000, huge.data() + 22);
        QTest::newRow("too many pixels") << huge << false << QSize(0, 0);
    }
    void thumbnails()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, throughLink);
        const QString path = attachmentFolder(Guid) + u"/a.img"_s;
        const QString real = m_env->touch(throughLink ? u"real.img"_s : path, bytes);
        if (throughLink)
            QVERIFY(QDir().mkpath(m_env->path(attachmentFolder(Guid))) &&
                    QFile::link(real, m_env->path(path)));
        QTEST(decodeThumbnail(m_env->root(), path).size(), "size");
    }
};

QTEST_MAIN(tst_MessageRenderer)
#include "tst_messagerenderer.moc"
