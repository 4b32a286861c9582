#include "core/settings/inifile.h"

#include <QFile>

#include <algorithm>

namespace hy {

namespace {

const QByteArray Utf8Bom("\xEF\xBB\xBF");

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

QByteArrayView trimBlanks(QByteArrayView bytes)
{
    while (!bytes.isEmpty() && isBlank(bytes.front()))
        bytes = bytes.sliced(1);
    while (!bytes.isEmpty() && isBlank(bytes.back()))
        bytes.chop(1);
    return bytes;
}

bool isQuote(char c)
{
    return c == '"' || c == '\'';
}

// Drops one pair of quotes enclosing the whole value.
QByteArrayView unquote(QByteArrayView raw)
{
    if (raw.size() >= 2 && isQuote(raw.front()) && raw.back() == raw.front())
        return raw.sliced(1, raw.size() - 2);
    return raw;
}

// The first `limit` bytes at most, without splitting a UTF-8 sequence.
QByteArrayView cutUtf8(QByteArrayView bytes, qsizetype limit)
{
    if (bytes.size() <= limit)
        return bytes;
    qsizetype n = limit;
    while (n > 0 && (static_cast<unsigned char>(bytes[n]) & 0xC0) == 0x80)
        --n;
    return bytes.first(n);
}

bool hasLineBreak(const QString& text)
{
    return text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'));
}

// Names match without regard to letter case, as QString compares them; plain
// ASCII names, nearly all of them, without making a QString.
bool sameName(QByteArrayView name, const QString& wanted)
{
    const bool ascii = std::all_of(name.begin(), name.end(), [](char c) { return c > 0; });
    if (ascii && name.size() != wanted.size())
        return false;
    if (ascii) {
        for (qsizetype i = 0; i < name.size(); ++i) {
            if (QChar::toCaseFolded(char32_t(uchar(name[i]))) !=
                QChar::toCaseFolded(char32_t(wanted[i].unicode())))
                return false;
        }
        return true;
    }
    return QString::fromUtf8(name).compare(wanted, Qt::CaseInsensitive) == 0;
}

} // namespace

IniFile::Line IniFile::lineAt(qsizetype begin) const
{
    Line line;
    line.begin = begin;
    const QByteArrayView text(m_text);
    const qsizetype nl = text.indexOf('\n', begin);
    line.next = nl < 0 ? text.size() : nl + 1;
    line.end = nl < 0 ? text.size() : (nl > begin && text[nl - 1] == '\r' ? nl - 1 : nl);
    const QByteArrayView body = trimBlanks(text.sliced(begin, line.end - begin));
    if (body.isEmpty()) {
        line.kind = LineKind::Blank;
    } else if (body.front() == ';' || body.front() == '#') {
        line.kind = LineKind::Comment;
    } else if (const qsizetype close = body.indexOf(']'); body.front() == '[' && close > 0) {
        line.kind = LineKind::Section;
        line.name = trimBlanks(body.sliced(1, close - 1));
    } else if (const qsizetype eq = body.indexOf('='); eq > 0) {
        line.name = trimBlanks(body.first(eq));
        line.kind = line.name.isEmpty() ? LineKind::Other : LineKind::Key;
        line.value = trimBlanks(body.sliced(eq + 1));
    } else {
        line.kind = LineKind::Other;
    }
    return line;
}

void IniFile::loadBytes(const QByteArray& bytes)
{
    m_text = bytes;
    m_changed = false;
    m_sections.clear();
    m_bodyStart = m_text.startsWith(Utf8Bom) ? Utf8Bom.size() : 0;
    m_openEnd = m_text.size() > m_bodyStart && !m_text.endsWith('\n');
    m_eol = "\n";
    const qsizetype nl = m_text.indexOf('\n', m_bodyStart);
    if (nl > m_bodyStart && m_text.at(nl - 1) == '\r')
        m_eol = "\r\n";
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
    if (const auto known = m_sections.constFind(section); known != m_sections.constEnd())
        return *known;
    std::optional<Range> found;
    for (qsizetype at = m_bodyStart; at < m_text.size() && !found;) {
        const Line line = lineAt(at);
        if (line.kind == LineKind::Section && sameName(line.name, section))
            found = Range{at, m_text.size()};
        at = line.next;
    }
    if (found) {
        for (qsizetype at = lineAt(found->first).next; at < m_text.size();) {
            const Line line = lineAt(at);
            if (line.kind == LineKind::Section) {
                found->end = at;
                break;
            }
            at = line.next;
        }
    }
    m_sections.insert(section, found);
    return found;
}

std::optional<IniFile::Line> IniFile::findKey(const Range& range, const QString& key) const
{
    for (qsizetype at = lineAt(range.first).next; at < range.end;) {
        const Line line = lineAt(at);
        if (line.kind == LineKind::Key && sameName(line.name, key))
            return line;
        at = line.next;
    }
    return std::nullopt;
}

QStringList IniFile::keys(const QString& section) const
{
    QStringList names;
    const auto range = findSection(section);
    if (!range)
        return names;
    for (qsizetype at = lineAt(range->first).next; at < range->end;) {
        const Line line = lineAt(at);
        if (line.kind == LineKind::Key) {
            const QString name = QString::fromUtf8(line.name);
            if (!names.contains(name, Qt::CaseInsensitive))
                names.append(name);
        }
        at = line.next;
    }
    return names;
}

std::optional<QString> IniFile::value(const QString& section, const QString& key) const
{
    const auto range = findSection(section);
    if (!range)
        return std::nullopt;
    const auto line = findKey(*range, key);
    if (!line)
        return std::nullopt;
    return QString::fromUtf8(cutUtf8(unquote(line->value), MaxValueBytes));
}

QString IniFile::value(const QString& section, const QString& key, const QString& fallback) const
{
    return value(section, key).value_or(fallback);
}

void IniFile::splice(qsizetype at, qsizetype length, const QByteArray& bytes)
{
    m_changed = true;
    if (m_text.isDetached()) {
        m_text.replace(at, length, bytes);
    } else {
        // The text read is still shared (with a copy the caller keeps from
        // serialize()): the new one is made in one go, with room for the few
        // more changes that a save brings, rather than copied and then moved.
        const QByteArrayView text(m_text);
        QByteArray changed;
        changed.reserve(text.size() - length + bytes.size() + 4096);
        changed.append(text.first(at)).append(bytes).append(text.sliced(at + length));
        m_text = std::move(changed);
    }
    const qsizetype delta = bytes.size() - length;
    for (auto it = m_sections.begin(); it != m_sections.end(); ++it) {
        std::optional<Range>& r = *it;
        if (!r)
            continue;
        if (r->first >= at) {
            r->first += delta;
            r->end += delta;
        } else if (r->end >= at) {
            r->end += delta;
        }
    }
}

void IniFile::appendLine(const QByteArray& text)
{
    m_changed = true;
    // After a last line without a line break, the file keeps ending without
    // one.
    if (m_openEnd)
        m_text += m_eol + text;
    else
        m_text += text + m_eol;
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
        // A new section at the end, after a blank line unless one is there.
        const qsizetype oldSize = m_text.size();
        if (oldSize > m_bodyStart) {
            const QByteArrayView text = QByteArrayView(m_text).first(oldSize - (m_openEnd ? 0 : 1));
            const qsizetype last = std::max(m_bodyStart, text.lastIndexOf('\n') + 1);
            if (lineAt(last).kind != LineKind::Blank)
                appendLine({});
        }
        const qsizetype header = m_text.size() + (m_openEnd ? m_eol.size() : 0);
        appendLine('[' + section.toUtf8() + ']');
        appendLine(line);
        // The section that was last now ends where the new one begins.
        for (auto it = m_sections.begin(); it != m_sections.end();) {
            if (!*it) {
                it = m_sections.erase(it);
                continue;
            }
            if ((*it)->end == oldSize)
                (*it)->end = header;
            ++it;
        }
        m_sections.insert(section, Range{header, m_text.size()});
        return true;
    }
    if (const auto old = findKey(*range, key)) {
        if (unquote(old->value) != bytes)
            splice(old->begin, old->end - old->begin, line);
        return true;
    }
    // After the last key (or other) line, so before the blank lines and
    // comments that end the section.
    Line after = lineAt(range->first);
    for (qsizetype at = after.next; at < range->end;) {
        const Line l = lineAt(at);
        if (l.kind == LineKind::Key || l.kind == LineKind::Other)
            after = l;
        at = l.next;
    }
    if (after.next == after.end) // the last line of the text, without a line break
        splice(after.next, 0, m_eol + line);
    else
        splice(after.next, 0, line + m_eol);
    return true;
}

} // namespace hy
