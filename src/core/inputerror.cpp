#include "core/inputerror.h"

namespace hy {

int toInteger(const QString& text)
{
    bool ok = false;
    const QString trimmed = text.trimmed();
    // QString::toInt also takes forms such as "1e3" or "0x10" only when asked to;
    // base 10 accepts just a sign and digits.
    const int value = trimmed.toInt(&ok, 10);
    if (!ok || trimmed.isEmpty())
        throw InputError(QStringLiteral("“%1”不是有效的整数。").arg(text));
    return value;
}

} // namespace hy
