#include "core/hywebtips.h"

#include "core/log.h"

#include <QDir>
#include <QSaveFile>
#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <iconv.h>
#include <utility>

namespace hy {

namespace {

const QLatin1StringView separator("@#$");

bool isGbkLead(unsigned char c)
{
    return c >= 0x81 && c <= 0xFE;
}

bool isGbkTrail(unsigned char c)
{
    return c >= 0x40 && c <= 0xFE && c != 0x7F;
}

// GBK through the C library's converter. A byte the converter refuses becomes
// U+FFFD; a lead byte with a byte from the trail range after it is one
// (undefined) character, so a trail byte such as '@' is never set free.
QString fromGbk(const QByteArray& bytes)
{
    static constexpr char replacement[] = "\xEF\xBF\xBD";
    QByteArray utf8;
    iconv_t cd = iconv_open("UTF-8", "GBK");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        // No GBK converter installed: keep what is plain ASCII.
        for (const char c : bytes)
            utf8.append(static_cast<unsigned char>(c) < 0x80 ? QByteArray(1, c)
                                                             : QByteArray(replacement));
        return QString::fromUtf8(utf8);
    }

    // Every input byte gives at most three output bytes (0x80 is the euro
    // sign, U+20AC; a replaced byte is U+FFFD).
    utf8.resize(bytes.size() * 3);
    char* in = const_cast<char*>(bytes.constData());
    size_t inLeft = static_cast<size_t>(bytes.size());
    char* out = utf8.data();
    size_t outLeft = static_cast<size_t>(utf8.size());
    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, &out, &outLeft) != static_cast<size_t>(-1))
            break;
        if (errno == E2BIG) {
            const qsizetype used = out - utf8.data();
            utf8.resize(utf8.size() + static_cast<qsizetype>(inLeft) * 3 + 3);
            out = utf8.data() + used;
            outLeft = static_cast<size_t>(utf8.size() - used);
            continue;
        }
        if (errno != EILSEQ && errno != EINVAL)
            break;
        if (outLeft < 3) {
            const qsizetype used = out - utf8.data();
            utf8.resize(utf8.size() + 3);
            out = utf8.data() + used;
            outLeft = static_cast<size_t>(utf8.size() - used);
        }
        std::copy_n(replacement, 3, out);
        out += 3;
        outLeft -= 3;
        const auto* at = reinterpret_cast<const unsigned char*>(in);
        const size_t skip = inLeft >= 2 && isGbkLead(at[0]) && isGbkTrail(at[1]) ? 2 : 1;
        in += skip;
        inLeft -= skip;
    }
    iconv_close(cd);
    utf8.truncate(out - utf8.data());
    return QString::fromUtf8(utf8);
}

// The text as the tips line takes it: at most MaxTipChars, never half of a
// character.
QString tipText(QStringView text)
{
    if (text.size() <= hyWebTips::MaxTipChars)
        return text.toString();
    qsizetype keep = hyWebTips::MaxTipChars - 1;
    if (text[keep - 1].isHighSurrogate())
        --keep;
    return text.first(keep).toString() + QChar(0x2026);
}

} // namespace

QString decodeTipsText(const QByteArray& body)
{
    const qsizetype zero = body.indexOf('\0');
    const QByteArray usable = zero < 0 ? body : body.left(zero);
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8.decode(usable);
    if (!utf8.hasError())
        return text;
    return fromGbk(usable);
}

QList<Tip> parseTips(const QByteArray& body)
{
    // Decoded before splitting: among the raw bytes, a GBK trail byte '@'
    // followed by "#$" would look like a separator.
    const QString text = decodeTipsText(body);
    QList<Tip> tips;
    qsizetype start = 0;
    while (start <= text.size() && tips.size() < hyWebTips::MaxTips) {
        qsizetype end = start;
        while (end < text.size() && text[end] != QLatin1Char('\r') &&
               text[end] != QLatin1Char('\n'))
            ++end;
        // CR LF is two ends with an empty line between them; empty lines
        // are skipped anyway.
        const QStringView line = QStringView(text).mid(start, end - start);
        const qsizetype at = line.indexOf(separator);
        if (at >= 0) {
            const QStringView link = line.mid(at + separator.size());
            tips.append({tipText(line.left(at)),
                         link.size() <= hyWebTips::MaxLinkChars ? link.toString() : QString()});
        }
        start = end + 1;
    }
    return tips;
}

hyWebTips::hyWebTips(const QUrl& tipsUrl, const QString& cachePath, Limits limits, QObject* parent)
    : QObject(parent)
    , m_cachePath(cachePath)
    , m_random(static_cast<std::mt19937::result_type>(
          std::chrono::system_clock::now().time_since_epoch().count()))
{
    QString why;
    if (INetwork* net = network(&why)) {
        m_download = net->download(tipsUrl, "URLCheck", limits,
                                   [this](const QByteArray& body) { complete(body); });
        return;
    }
    // No tips without the network module; the cache stays as it was.
    qCWarning(lcTips, "no tips: %s", qPrintable(why));
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_finished = true;
            emit finished();
        },
        Qt::QueuedConnection);
}

// A download cut short by the owner leaves the cache as it was.
hyWebTips::~hyWebTips() = default;

bool hyWebTips::isSafeLink(const QString& link)
{
    if (!link.startsWith(QLatin1StringView("http://"), Qt::CaseInsensitive) &&
        !link.startsWith(QLatin1StringView("https://"), Qt::CaseInsensitive))
        return false;
    const QUrl url(link, QUrl::StrictMode);
    if (!url.isValid() || url.isRelative() || url.host().isEmpty())
        return false;
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1StringView("http") || scheme == QLatin1StringView("https");
}

QStringList hyWebTips::TipTexts() const
{
    return column(&Tip::text);
}

QStringList hyWebTips::TipLinks() const
{
    return column(&Tip::link);
}

QStringList hyWebTips::column(QString Tip::*field) const
{
    QStringList values;
    values.reserve(m_tips.size());
    for (const Tip& tip : m_tips)
        values.append(tip.*field);
    return values;
}

std::optional<Tip> hyWebTips::randomTip()
{
    if (m_tips.isEmpty())
        return std::nullopt;
    std::uniform_int_distribution<qsizetype> pick(0, m_tips.size() - 1);
    return m_tips[pick(m_random)];
}

void hyWebTips::complete(const QByteArray& body)
{
    // Done with, but still on the stack that reports.
    if (m_download)
        m_download.release()->deleteLater();
    // The status is not looked at: whatever body came (an error page, a part
    // of a page, nothing at all) is cached and parsed.
    const QString cacheError = writeCache(body);
    m_tips = parseTips(body);
    m_finished = true;
    if (!cacheError.isEmpty())
        emit cacheWriteFailed(cacheError);
    emit finished();
}

QString hyWebTips::writeCache(const QByteArray& body) const
{
    QSaveFile file(m_cachePath);
    if (file.open(QIODevice::WriteOnly) && file.write(body) == body.size() && file.commit())
        return {};
    return QStringLiteral("无法写入提示缓存文件“%1”：%2")
        .arg(QDir::toNativeSeparators(m_cachePath), file.errorString());
}

} // namespace hy
