#pragma once

#include <QLibrary>
#include <QString>
#include <QStringList>

namespace hy {

// A shared library loaded when first wanted instead of linked: it is opened by
// name and major version, its functions are looked up one by one, and error()
// says in one line why it cannot be used (not found, or which functions it
// lacks). It is never unloaded: it may keep threads and callbacks of ours.
class RuntimeLibrary
{
public:
    RuntimeLibrary(const QString& name, int majorVersion);

    // Sets `fn` to the library's `symbol`, or to null (remembered for error()).
    template <typename Fn>
    void resolve(Fn*& fn, const char* symbol)
    {
        fn = m_loaded ? reinterpret_cast<Fn*>(m_library.resolve(symbol)) : nullptr;
        if (m_loaded && !fn)
            m_missing << QLatin1String(symbol);
    }

    // Loaded, with every function asked for.
    bool isUsable() const { return m_loaded && m_missing.isEmpty(); }
    QString error() const;

private:
    QLibrary m_library;
    bool m_loaded = false;
    QStringList m_missing;
};

} // namespace hy
