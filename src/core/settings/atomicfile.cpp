#include "core/settings/atomicfile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace hy {

namespace {

bool writeAll(int fd, const QByteArray& content)
{
    const char* data = content.constData();
    qsizetype left = content.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        left -= n;
    }
    return true;
}

// Makes the rename itself durable; a failure here no longer affects the
// outcome, the new file is in place either way.
void syncDirectory(const QByteArray& dir)
{
    const int fd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

QString resolveLink(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isSymLink())
        return path;
    const QString canonical = info.canonicalFilePath();
    // A dangling link: write the file it names.
    return canonical.isEmpty() ? info.symLinkTarget() : canonical;
}

} // namespace

bool writeFileAtomically(const QString& path, const QByteArray& content, const RenameStep& rename)
{
    if (path.isEmpty())
        return false;
    const QString target = resolveLink(path);
    const QByteArray targetName = QFile::encodeName(target);

    struct stat old
    {};
    const bool exists = ::stat(targetName.constData(), &old) == 0;
    if (exists) {
        if (!S_ISREG(old.st_mode) || (old.st_mode & S_IWUSR) == 0) {
            errno = S_ISDIR(old.st_mode) ? EISDIR : S_ISREG(old.st_mode) ? EACCES : EINVAL;
            return false;
        }
    } else if (errno != ENOENT) {
        return false;
    }

    const QFileInfo info(target);
    const QByteArray dir = QFile::encodeName(info.absolutePath());
    QByteArray temp = dir + "/." + QFile::encodeName(info.fileName()) + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return false;

    const mode_t mode = exists ? (old.st_mode & 07777) : 0644;
    bool ok = writeAll(fd, content) && ::fchmod(fd, mode) == 0;
    if (ok && exists && (old.st_uid != ::geteuid() || old.st_gid != ::getegid())) {
        // Only root may hand the file back to another owner; a failure just
        // leaves the file with the writer's ownership.
        [[maybe_unused]] const int chownResult = ::fchown(fd, old.st_uid, old.st_gid);
    }
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok) {
        if (rename)
            ok = rename(QFile::decodeName(temp), target);
        else
            ok = ::rename(temp.constData(), targetName.constData()) == 0;
    }
    if (!ok) {
        const int reason = errno;
        ::unlink(temp.constData());
        errno = reason;
        return false;
    }
    syncDirectory(dir);
    return true;
}

} // namespace hy
