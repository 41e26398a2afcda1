#include "safefile.h"

#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

// The device's own reason when it has one; otherwise what the system said about the last call.
bool Failed(const QFileDevice &file, int systemError, QString *reason)
{
    if (reason)
        *reason = file.error() != QFileDevice::NoError ? file.errorString() : qt_error_string(systemError);
    return false;
}

bool WriteAll(QFileDevice &file, const QByteArray &content)
{
    errno = 0;
    return file.write(content) == content.size() && file.flush();
}

bool Sync(QFileDevice &file)
{
#ifdef Q_OS_UNIX
    return ::fsync(file.handle()) == 0 || errno == EINVAL; // EINVAL: a file that has nothing to sync
#else
    Q_UNUSED(file);
    return true;
#endif
}

} // namespace

bool WriteFileWhole(const QString &path, const QByteArray &content, QString *reason)
{
    // A device or pipe cannot be replaced, nor can a file named through /dev or /proc, as
    // /dev/stdout names the file the shell opened: put another file in its place and the
    // shell's one never gets the content.
    const QFileInfo target(path);
    const QString absolute = target.absoluteFilePath();
    if ((target.exists() && !target.isFile() && !target.isDir()) || absolute.startsWith(QLatin1String("/dev/"))
        || absolute.startsWith(QLatin1String("/proc/"))) {
        QFile device(path);
        if (device.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && WriteAll(device, content))
            return true;
        return Failed(device, errno, reason);
    }

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return Failed(file, errno, reason);
    if (!WriteAll(file, content) || !Sync(file)) {
        Failed(file, errno, reason);
        file.cancelWriting(); // the old file stays as it was
        return false;
    }
    if (!file.commit())
        return Failed(file, errno, reason);
    return true;
}
