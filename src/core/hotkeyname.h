#pragma once

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

} // namespace hy
