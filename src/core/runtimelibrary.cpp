#include "core/runtimelibrary.h"

namespace hy {

RuntimeLibrary::RuntimeLibrary(const QString& name, int majorVersion)
{
    m_library.setFileNameAndVersion(name, majorVersion);
    m_loaded = m_library.load();
}

QString RuntimeLibrary::error() const
{
    if (!m_loaded)
        return m_library.errorString();
    if (!m_missing.isEmpty())
        return QStringLiteral("%1 has no %2")
            .arg(m_library.fileName(), m_missing.join(QLatin1String(", ")));
    return {};
}

} // namespace hy
