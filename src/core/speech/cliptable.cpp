#include "core/speech/cliptable.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QResource>

namespace hy {

void ClipTable::load(const QString& directory)
{
    m_clips = {};
    // Resource names are looked up without regard to case, so list what is
    // there once and match by lower-cased name.
    QDirIterator it(directory, QDir::Files);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString name = QFileInfo(path).completeBaseName().toLower();
        if (!name.startsWith(QLatin1String("wav")))
            continue;
        bool ok = false;
        const int index = name.mid(3).toInt(&ok);
        if (!ok || index < 0 || index >= kClipCount ||
            name != QLatin1String("wav") + QString::number(index))
            continue;
        const QResource res(path);
        // Only uncompressed resources can be played in place.
        if (!res.isValid() || res.compressionAlgorithm() != QResource::NoCompression)
            continue;
        m_clips[index] = QByteArrayView(reinterpret_cast<const char*>(res.data()),
                                        static_cast<qsizetype>(res.size()));
    }
}

void ClipTable::release()
{
    m_clips = {};
}

void ClipTable::setClip(int index, QByteArrayView image)
{
    if (index >= 0 && index < kClipCount)
        m_clips[index] = image;
}

QByteArrayView ClipTable::clip(int index) const
{
    if (index < 0 || index >= kClipCount)
        return {};
    return m_clips[index];
}

int ClipTable::loadedCount() const
{
    int n = 0;
    for (const auto& c : m_clips)
        n += c.isEmpty() ? 0 : 1;
    return n;
}

} // namespace hy
