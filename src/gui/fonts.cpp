#include "gui/fonts.h"

#include <QFontDatabase>

namespace quillet {

using namespace Qt::StringLiterals;

QFont conversationFont()
{
    const QString tahoma = u"Tahoma"_s;
    QFont font = QFontDatabase::hasFamily(tahoma)
                     ? QFont(tahoma)
                     : QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSize(9);
    return font;
}

} // namespace quillet
