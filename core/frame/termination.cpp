#include "termination.h"

#include <QSocketNotifier>

#include <cerrno>
#include <iterator>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_UNIX
constexpr int Signals[] = {SIGTERM, SIGHUP, SIGINT};
int sockets[2] = {-1, -1}; // the handler writes to [0], the loop reads [1]

void Handle(int signalNumber)
{
    const int saved = errno;
    const char byte = static_cast<char>(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(sockets[0], &byte, 1);
    errno = saved;
}

struct sigaction previous[std::size(Signals)]; // what each signal did before
bool ignored[std::size(Signals)] = {};         // ignored when the program started, as under nohup

void Catch()
{
    struct sigaction action = {};
    action.sa_handler = Handle;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(Signals); ++i) {
        sigaction(Signals[i], nullptr, &previous[i]);
        ignored[i] = previous[i].sa_handler == SIG_IGN; // whoever started us wants it so
        if (!ignored[i])
            sigaction(Signals[i], &action, nullptr);
    }
}

void Release()
{
    for (std::size_t i = 0; i < std::size(Signals); ++i)
        if (!ignored[i])
            sigaction(Signals[i], &previous[i], nullptr);
}
#endif

} // namespace

TerminationWatcher::TerminationWatcher(QObject *parent)
    : QObject(parent)
{
#ifdef Q_OS_UNIX
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0)
        return;
    notifier = new QSocketNotifier(sockets[1], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &TerminationWatcher::OnReadable);
    Catch();
#endif
}

TerminationWatcher::~TerminationWatcher()
{
#ifdef Q_OS_UNIX
    if (!notifier)
        return;
    Release();
    ::close(sockets[0]);
    ::close(sockets[1]);
    sockets[0] = sockets[1] = -1;
#endif
}

void TerminationWatcher::OnReadable()
{
#ifdef Q_OS_UNIX
    char byte = 0;
    if (::read(sockets[1], &byte, 1) != 1)
        return;
    Release();
    Q_EMIT Received(byte);
#endif
}
