#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

namespace hy {

// The last step of an atomic write: moves the finished temporary file `from`
// over `to`. Returns success.
using RenameStep = std::function<bool(const QString& from, const QString& to)>;

// Replaces the file at `path` by `content`, all or nothing: the content goes to
// a temporary file in the same directory, is flushed to disk and then renamed
// over the old file. On any failure the temporary is removed and the old file
// is left as it was. A symbolic link is followed, so the file it names is
// replaced and the link stays.
//
// Refused (false): an existing file that is not a regular file, or whose owner
// may not write it (no owner write bit; checked on the mode, so it holds for
// root too). The new file keeps the old one's permissions and, where allowed,
// its owner; a file that did not exist is created with mode 0644.
//
// On failure errno says why: EACCES for a file without the owner write bit,
// EISDIR or EINVAL for one that is no regular file, else what the system said.
//
// `rename` replaces the final rename, for tests; empty means rename(2).
bool writeFileAtomically(const QString& path, const QByteArray& content,
                         const RenameStep& rename = {});

} // namespace hy
