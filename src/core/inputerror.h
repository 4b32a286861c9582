#pragma once

#include <QString>
#include <stdexcept>

namespace hy {

// An error the user can do something about; its text is shown in the error
// box as it stands.
class InputError : public std::runtime_error
{
public:
    explicit InputError(const QString& text)
        : std::runtime_error(text.toStdString())
        , m_text(text)
    {}
    const QString& text() const { return m_text; }

private:
    QString m_text;
};

// The text of a box as a signed 32-bit integer: optional blanks around an
// optional sign and decimal digits. Anything else throws InputError naming
// the text.
int toInteger(const QString& text);

} // namespace hy
