// Grows a document one paragraph at a time and saves its log after each, printing
// the number of every paragraph whose save has finished. Killed by the test at
// random moments to show that an interrupted save loses nothing.
#include "richtext/rtflogfile.h"

#include <cstdio>

#include <QGuiApplication>
#include <QTextCursor>
#include <QTextDocument>

using namespace quillet;
using namespace Qt::StringLiterals;

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2)
        return 2;
    const QString path = QString::fromLocal8Bit(argv[1]);
    QTextDocument document;
    RtfLogFile log(&document);
    QTextCursor cursor(&document);
    for (int i = 0; i < 100000; ++i) {
        cursor.insertText(u"message %1 Ж\r\n"_s.arg(i));
        if (!log.save(path).ok())
            return 1;
        std::printf("%d\n", i);
        std::fflush(stdout);
    }
    return 0;
}
