#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <optional>

namespace hy {

// An INI text kept as it was read, so that changing one value leaves every
// other byte of the file as it was: other sections and keys, comments (lines
// starting with ';' or '#'), blank lines, their order, a UTF-8 byte order mark
// and the file's own line ending (LF or CRLF). Only the sections asked for
// are looked at, so a file of many megabytes costs little more than its size
// in memory and is read in about the time its bytes take to scan.
//
// Reading follows the classic profile-file rules:
// - section and key names match without regard to letter case; the first
//   section of a name and the first key of a name in it count;
// - a key is a line Name=Value inside a section; lines before the first
//   section, lines without '=' and comments hold no keys;
// - a value loses the blanks around it and then one pair of quotes ("..." or
//   '...') that encloses all of it;
// - at most MaxValueBytes bytes of a value are returned, cut at a character
//   boundary.
// The text is UTF-8.
class IniFile
{
public:
    static constexpr int MaxValueBytes = 2047;

    IniFile() = default;
    explicit IniFile(const QByteArray& bytes) { loadBytes(bytes); }

    void loadBytes(const QByteArray& bytes);
    // Reads the whole file. False, leaving the text empty, when it cannot be
    // read (missing, a directory, no access).
    bool loadFile(const QString& path);

    // Names of the keys of `section` as written in the file, first occurrence
    // of each name only; empty when there is no such section.
    QStringList keys(const QString& section) const;
    // The value as described above; nullopt when the section or key is missing.
    std::optional<QString> value(const QString& section, const QString& key) const;
    QString value(const QString& section, const QString& key, const QString& fallback) const;

    // Stores `value` under `key`:
    // - an existing key line is replaced where it stands by Key=Value with the
    //   name as given; a line that already reads back as `value` is left alone;
    // - a missing key gets a new line after the last key line of its section
    //   (so before the blank lines that end it);
    // - a missing section is added at the end of the file.
    // A value that would not read back unchanged (blanks at either end, or
    // enclosed in quotes) is written inside double quotes.
    // Returns false and changes nothing when the names or the value cannot be
    // stored: an empty or malformed name, or a line break anywhere.
    bool set(const QString& section, const QString& key, const QString& value);

    // The text as it stands: the bytes read, with the changes of set().
    QByteArray serialize() const { return m_text; }
    // Whether set() has changed the text since it was read.
    bool changed() const { return m_changed; }

private:
    enum class LineKind
    {
        Blank,
        Comment,
        Section,
        Key,
        Other
    };
    // One line of m_text: [begin, end) without its line break, `next` where
    // the next line begins (the text's size after the last one).
    struct Line
    {
        qsizetype begin = 0;
        qsizetype end = 0;
        qsizetype next = 0;
        LineKind kind = LineKind::Blank;
        QByteArrayView name;  // section or key name
        QByteArrayView value; // a key's raw value, blanks around it removed
    };
    // The lines [first, end) of a section: the start of its header line and
    // of the next section's (or the text's end).
    struct Range
    {
        qsizetype first;
        qsizetype end;
    };

    Line lineAt(qsizetype begin) const;
    std::optional<Range> findSection(const QString& section) const;
    std::optional<Line> findKey(const Range& range, const QString& key) const;
    // Replaces `length` bytes at `at` by `bytes`, keeping the sections found
    // so far in step.
    void splice(qsizetype at, qsizetype length, const QByteArray& bytes);
    void appendLine(const QByteArray& text);

    // The whole text, byte order mark included: other lines are never
    // copied apart, so a file costs about its own size in memory, and what
    // is not changed is written back byte for byte.
    QByteArray m_text;
    bool m_changed = false;
    qsizetype m_bodyStart = 0; // after a byte order mark
    // The last line has no line break, and so keeps none when lines follow.
    bool m_openEnd = false;
    QByteArray m_eol = "\n"; // of the first line, for new lines
    // Sections looked up so far, by the name asked for: each one is found by
    // one pass over the text at most, however large the file.
    mutable QHash<QString, std::optional<Range>> m_sections;
};

} // namespace hy
