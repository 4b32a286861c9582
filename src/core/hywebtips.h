#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

#include "core/network.h"

#include <optional>
#include <random>

namespace hy {

struct Tip
{
    QString text;
    QString link;
};

// The usable text of a tips page as received: everything before the first
// zero byte, read as UTF-8 when it is valid UTF-8 (a leading byte-order mark
// is dropped) and as GBK otherwise. Bytes that are not GBK either become
// U+FFFD; an undefined double-byte code counts as one character, so its
// trail byte is never taken for a character of its own.
QString decodeTipsText(const QByteArray& body);

// The tips of a page as received, at most hyWebTips::MaxTips of them. One tip
// per line (lines end with CR, LF or CR LF): the text before the first "@#$"
// and the link after it, both as they stand. Empty lines and lines without
// "@#$" are skipped, and so is every tip line after the last one there is
// room for. A text longer than the tips line can ever show is cut to
// hyWebTips::MaxTipChars (its last character "…"), so that no widget lays out
// more; a link longer than hyWebTips::MaxLinkChars is no link and is dropped.
QList<Tip> parseTips(const QByteArray& body);

// How long a tips download may take in all, and how much of the body is kept.
using TipsLimits = DownloadLimits;

// Downloads the tips list once, in the background, caches the body and keeps
// the parsed tips. The download starts in the constructor; every signal comes
// later from the event loop, so connecting right after construction is safe.
class hyWebTips : public QObject
{
    Q_OBJECT
public:
    static constexpr int MaxTips = 128;
    static constexpr int MaxTipChars = 1000;
    static constexpr int MaxLinkChars = 2048;
    static constexpr qint64 MaxBodyBytes = TipsLimits{}.maxBodyBytes;
    static constexpr int TimeoutMs = TipsLimits{}.timeoutMs;
    using Limits = TipsLimits;

    // GET `tipsUrl`; when done, successful or not, the body (at most
    // maxBodyBytes of it, whatever the HTTP status) replaces the whole content
    // of `cachePath`, an empty body included. A download still going after
    // timeoutMs is cut off there.
    hyWebTips(const QUrl& tipsUrl, const QString& cachePath, Limits limits = {},
              QObject* parent = nullptr);
    ~hyWebTips() override;

    hyWebTips(const hyWebTips&) = delete;
    hyWebTips& operator=(const hyWebTips&) = delete;

    // True only for an absolute http:// or https:// address with a host.
    static bool isSafeLink(const QString& link);

    // True once the download has ended and the tips are parsed.
    bool isFinished() const { return m_finished; }

    int TipCount() const { return static_cast<int>(m_tips.size()); }
    QStringList TipTexts() const;
    QStringList TipLinks() const;
    const QList<Tip>& tips() const { return m_tips; }

    // A tip picked at random, afresh at every call (the same one may come
    // twice in a row); nothing while there are no tips.
    std::optional<Tip> randomTip();

signals:
    // The tips are ready (possibly none). Emitted once.
    void finished();
    // The cache file could not be written; `message` names it. The tips that
    // arrived are kept all the same. Emitted at most once, before finished().
    void cacheWriteFailed(const QString& message);

private:
    QStringList column(QString Tip::*field) const;
    void complete(const QByteArray& body);
    QString writeCache(const QByteArray& body) const;

    QString m_cachePath;
    std::unique_ptr<QObject> m_download;
    QList<Tip> m_tips;
    bool m_finished = false;
    std::mt19937 m_random;
};

} // namespace hy
