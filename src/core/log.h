#pragma once

#include <QLoggingCategory>

namespace hy {

// The one category of every warning the program prints ("hytune").
Q_DECLARE_LOGGING_CATEGORY(lcHytune)

} // namespace hy
