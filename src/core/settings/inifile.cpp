#include "core/settings/inifile.h"

#include <QFile>

namespace hy {

namespace {

const QByteArray Utf8Bom("\xEF\xBB\xBF");

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

QByteArray trimBlanks(const QByteArray& bytes)
{
    qsizetype begin = 0;
    qsizetype end = bytes.size();
    while (begin < end && isBlank(bytes[begin]))
        ++begin;
    while (end > begin && isBlank(bytes[end - 1]))
        --end;
    return bytes.mid(begin, end - begin);
}

bool isQuote(char c)
{
    return c == '"' || c == '\'';
}

// Drops one pair of quotes enclosing the whole value.
QByteArray unquote(const QByteArray& raw)
{
    if (raw.size() >= 2 && isQuote(raw.front()) && raw.back() == raw.front())
        return raw.mid(1, raw.size() - 2);
    return raw;
}

// The first `limit` bytes at most, without splitting a UTF-8 sequence.
QByteArray cutUtf8(const QByteArray& bytes, qsizetype limit)
{
    if (bytes.size() <= limit)
        return bytes;
    qsizetype n = limit;
    while (n > 0 && (static_cast<unsigned char>(bytes[n]) & 0xC0) == 0x80)
        --n;
    return bytes.left(n);
}

bool hasLineBreak(const QString& text)
{
    return text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'));
}

bool sameName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

IniFile::Line IniFile::parseLine(const QByteArray& text, const QByteArray& eol)
{
    Line line;
    line.text = text;
    line.eol = eol;
    const QByteArray body = trimBlanks(text);
    if (body.isEmpty()) {
        line.kind = LineKind::Blank;
    } else if (body.front() == ';' || body.front() == '#') {
        line.kind = LineKind::Comment;
    } else if (body.front() == '[' && body.indexOf(']') > 0) {
        line.kind = LineKind::Section;
        line.name = QString::fromUtf8(trimBlanks(body.mid(1, body.indexOf(']') - 1)));
    } else if (const qsizetype eq = body.indexOf('='); eq > 0) {
        const QByteArray name = trimBlanks(body.left(eq));
        line.kind = name.isEmpty() ? LineKind::Other : LineKind::Key;
        line.name = QString::fromUtf8(name);
        line.value = trimBlanks(body.mid(eq + 1));
    } else {
        line.kind = LineKind::Other;
    }
    return line;
}

void IniFile::loadBytes(const QByteArray& bytes)
{
    m_lines.clear();
    m_bom.clear();
    m_eol = "\n";
    QByteArrayView rest(bytes);
    if (rest.startsWith(Utf8Bom)) {
        m_bom = Utf8Bom;
        rest = rest.sliced(Utf8Bom.size());
    }
    bool eolKnown = false;
    while (!rest.isEmpty()) {
        const qsizetype nl = rest.indexOf('\n');
        QByteArray text;
        QByteArray eol;
        if (nl < 0) {
            text = rest.toByteArray();
            rest = {};
        } else {
            text = rest.first(nl).toByteArray();
            rest = rest.sliced(nl + 1);
            eol = "\n";
            if (text.endsWith('\r')) {
                text.chop(1);
                eol = "\r\n";
            }
            if (!eolKnown) {
                m_eol = eol;
                eolKnown = true;
            }
        }
        m_lines.push_back(parseLine(text, eol));
    }
}

bool IniFile::loadFile(const QString& path)
{
    loadBytes({});
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return false;
    loadBytes(bytes);
    return true;
}

std::optional<IniFile::Range> IniFile::findSection(const QString& section) const
{
    if (section.isEmpty())
        return std::nullopt;
    for (size_t i = 0; i < m_lines.size(); ++i) {
        if (m_lines[i].kind != LineKind::Section || !sameName(m_lines[i].name, section))
            continue;
        size_t end = i + 1;
        while (end < m_lines.size() && m_lines[end].kind != LineKind::Section)
            ++end;
        return Range{i, end};
    }
    return std::nullopt;
}

std::optional<size_t> IniFile::findKey(const Range& range, const QString& key) const
{
    for (size_t i = range.first + 1; i < range.end; ++i) {
        if (m_lines[i].kind == LineKind::Key && sameName(m_lines[i].name, key))
            return i;
    }
    return std::nullopt;
}

QStringList IniFile::keys(const QString& section) const
{
    QStringList names;
    const auto range = findSection(section);
    if (!range)
        return names;
    for (size_t i = range->first + 1; i < range->end; ++i) {
        const Line& line = m_lines[i];
        if (line.kind == LineKind::Key && !names.contains(line.name, Qt::CaseInsensitive))
            names.append(line.name);
    }
    return names;
}

std::optional<QString> IniFile::value(const QString& section, const QString& key) const
{
    const auto range = findSection(section);
    if (!range)
        return std::nullopt;
    const auto at = findKey(*range, key);
    if (!at)
        return std::nullopt;
    return QString::fromUtf8(cutUtf8(unquote(m_lines[*at].value), MaxValueBytes));
}

QString IniFile::value(const QString& section, const QString& key, const QString& fallback) const
{
    return value(section, key).value_or(fallback);
}

void IniFile::insertLine(size_t at, const QByteArray& text)
{
    QByteArray eol = m_eol;
    if (at > 0 && m_lines[at - 1].eol.isEmpty()) {
        // Inserting after a last line without a line break: the file keeps
        // ending without one.
        m_lines[at - 1].eol = m_eol;
        eol.clear();
    }
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(at), parseLine(text, eol));
}

bool IniFile::set(const QString& section, const QString& key, const QString& value)
{
    const QString trimmedKey = key.trimmed();
    const QString trimmedSection = section.trimmed();
    if (trimmedSection.isEmpty() || trimmedSection != section ||
        section.contains(QLatin1Char(']')) || hasLineBreak(section))
        return false;
    if (trimmedKey.isEmpty() || trimmedKey != key || key.contains(QLatin1Char('=')) ||
        hasLineBreak(key) || key.startsWith(QLatin1Char('[')) || key.startsWith(QLatin1Char(';')) ||
        key.startsWith(QLatin1Char('#')))
        return false;
    if (hasLineBreak(value))
        return false;

    const QByteArray bytes = value.toUtf8();
    QByteArray stored = bytes;
    if (!bytes.isEmpty() &&
        (isBlank(bytes.front()) || isBlank(bytes.back()) || unquote(bytes) != bytes))
        stored = '"' + bytes + '"';
    const QByteArray line = key.toUtf8() + '=' + stored;

    const auto range = findSection(section);
    if (!range) {
        if (!m_lines.empty() && m_lines.back().kind != LineKind::Blank)
            insertLine(m_lines.size(), {});
        insertLine(m_lines.size(), '[' + section.toUtf8() + ']');
        insertLine(m_lines.size(), line);
        return true;
    }
    if (const auto at = findKey(*range, key)) {
        Line& old = m_lines[*at];
        if (unquote(old.value) != bytes)
            old = parseLine(line, old.eol);
        return true;
    }
    size_t after = range->first;
    for (size_t i = range->first + 1; i < range->end; ++i) {
        if (m_lines[i].kind == LineKind::Key || m_lines[i].kind == LineKind::Other)
            after = i;
    }
    insertLine(after + 1, line);
    return true;
}

QByteArray IniFile::serialize() const
{
    QByteArray out = m_bom;
    for (const Line& line : m_lines)
        out += line.text + line.eol;
    return out;
}

} // namespace hy
