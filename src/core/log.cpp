#include "core/log.h"

namespace hy {

Q_LOGGING_CATEGORY(lcHytune, "hytune")

} // namespace hy
