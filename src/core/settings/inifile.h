#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace hy {

// An INI text kept line by line, so that changing one value leaves every other
// byte of the file as it was: other sections and keys, comments (lines
// starting with ';' or '#'), blank lines, their order, a UTF-8 byte order mark
// and the file's own line ending (LF or CRLF).
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

    QByteArray serialize() const;

private:
    enum class LineKind
    {
        Blank,
        Comment,
        Section,
        Key,
        Other
    };
    struct Line
    {
        QByteArray text; // without its line break (and without the BOM)
        QByteArray eol;  // "\n", "\r\n", or empty for a last line without one
        LineKind kind = LineKind::Blank;
        QString name;     // section or key name
        QByteArray value; // a key's raw value, blanks around it removed
    };
    // Lines [first, end) of a section, `first` being its header.
    struct Range
    {
        size_t first;
        size_t end;
    };

    static Line parseLine(const QByteArray& text, const QByteArray& eol);
    std::optional<Range> findSection(const QString& section) const;
    std::optional<size_t> findKey(const Range& range, const QString& key) const;
    void insertLine(size_t at, const QByteArray& text);

    QByteArray m_bom;
    QByteArray m_eol = "\n";
    std::vector<Line> m_lines;
};

} // namespace hy
