#include "core/quiethours.h"

namespace hy {

bool isQuiet(const QuietHours& quiet, const QTime& now)
{
    if (!quiet.enabled || !quiet.from.isValid() || !quiet.to.isValid() || !now.isValid())
        return false;
    if (quiet.from < quiet.to)
        return now >= quiet.from && now < quiet.to;
    if (quiet.to < quiet.from)
        return now >= quiet.from || now < quiet.to;
    return false;
}

} // namespace hy
