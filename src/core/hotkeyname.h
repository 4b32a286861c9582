#pragma once

#include <QList>
#include <QString>

namespace hy {

// The function key (1 to 12) that the hotkey box's text names, compared
// whole and without regard to case; an empty text means F1. 0 for no match.
inline int hotkeyFunctionNumber(const QString& boxText)
{
    QString name = boxText.toLower();
    if (name.isEmpty())
        name = QStringLiteral("f1");
    for (int n = 1; n <= 12; ++n) {
        if (name == QStringLiteral("f%1").arg(n))
            return n;
    }
    return 0;
}

// Whether a desktop's name of a key ("Ctrl+F6", "CTRL + F6", "<Control>F6",
// GNOME's "<Primary>F6") means Ctrl + F<functionKey> and nothing else.
inline bool isCtrlFunctionKey(const QString& keyName, int functionKey)
{
    QString key = keyName.toLower();
    key.remove(QLatin1Char(' '));
    for (const char* name : {"<control>", "<ctrl>", "<ctl>", "<primary>"})
        key.replace(QLatin1String(name), QLatin1String("ctrl+"));
    key.replace(QLatin1String("control+"), QLatin1String("ctrl+"));
    return key == QStringLiteral("ctrl+f%1").arg(functionKey);
}

// The function key nearest to `wanted` (1..12) that is not in `held`; of
// two as near, the higher one. 0 when all twelve are held.
inline int nearestFreeFunctionKey(int wanted, const QList<int>& held)
{
    for (int distance = 0; distance < 12; ++distance) {
        for (int key : {wanted + distance, wanted - distance}) {
            if (key >= 1 && key <= 12 && !held.contains(key))
                return key;
        }
    }
    return 0;
}

} // namespace hy
