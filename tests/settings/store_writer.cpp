// Saves <count> keys "<prefix> <n>" into the settings store, one save at a
// time, as a second running copy of the program would.
#include "core/settingsstore.h"

#include <QCoreApplication>

using namespace quillet;
using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 3)
        return 2;
    const QString prefix = QString::fromUtf8(argv[1]);
    const int count = QByteArray(argv[2]).toInt();
    for (int i = 0; i < count; ++i) {
        SettingsStore store;
        if (!store.saveValue(u"Race"_s, prefix + ' '_L1 + QString::number(i), ValueKind::Int32, i)
                 .ok())
            return 1;
    }
    return 0;
}
