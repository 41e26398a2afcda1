#include "pseudoterminal.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace {

QString SystemError(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
}

} // namespace

PseudoTerminal::~PseudoTerminal()
{
    if (!linkPath.isEmpty())
        QFile::remove(linkPath);
    Close();
}

QString PseudoTerminal::Open()
{
    master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0)
        return SystemError("posix_openpt");
    if (grantpt(master) != 0 || unlockpt(master) != 0)
        return SystemError("grantpt");
    const char *name = ptsname(master);
    if (!name)
        return SystemError("ptsname");
    slavePath = QFile::decodeName(name);
    slave = ::open(name, O_RDWR | O_NOCTTY);
    if (slave < 0)
        return SystemError("open slave");
    termios raw {};
    if (tcgetattr(slave, &raw) != 0)
        return SystemError("tcgetattr");
    cfmakeraw(&raw);
    if (tcsetattr(slave, TCSANOW, &raw) != 0)
        return SystemError("tcsetattr");
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    return QString();
}

QString PseudoTerminal::LinkAs(const QString &path)
{
    const QFileInfo old(path);
    if (old.exists() && !old.isSymLink())
        return QStringLiteral("%1 exists and is not a link; not replaced").arg(path);
    QFile::remove(path);
    if (::symlink(QFile::encodeName(slavePath).constData(), QFile::encodeName(path).constData()) != 0)
        return SystemError("symlink");
    linkPath = path;
    return QString();
}

void PseudoTerminal::Close()
{
    if (master >= 0)
        ::close(master);
    if (slave >= 0)
        ::close(slave);
    master = slave = -1;
}

QByteArray PseudoTerminal::ReadAvailable()
{
    QByteArray bytes;
    char buffer[512];
    ssize_t n;
    while (master >= 0 && (n = ::read(master, buffer, sizeof buffer)) > 0)
        bytes.append(buffer, static_cast<qsizetype>(n));
    return bytes;
}

QByteArray PseudoTerminal::Read(int timeoutMs)
{
    pollfd fd {master, POLLIN, 0};
    if (master >= 0)
        ::poll(&fd, 1, timeoutMs);
    return ReadAvailable();
}

bool PseudoTerminal::Write(const QByteArray &bytes)
{
    qsizetype done = 0;
    while (master >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(master, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n > 0) {
            done += n;
        } else if (errno == EAGAIN) {
            pollfd fd {master, POLLOUT, 0}; // the program has not read yet; wait for room
            if (::poll(&fd, 1, 1000) <= 0)
                return false;
        } else if (errno != EINTR) {
            return false;
        }
    }
    return done == bytes.size();
}
