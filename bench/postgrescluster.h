#pragma once

// A PostgreSQL cluster of its own in a temporary folder, for the class server's tests and
// benchmark: made with initdb, started and stopped with pg_ctl, reached over TCP on a free port
// of 127.0.0.1 with passwords (scram-sha-256), administered with psql over its own Unix socket as
// the superuser "admin". PostgreSQL refuses to run as root: there, as the user postgres.

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <csignal>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

class PostgresCluster
{
public:
    PostgresCluster() = default;
    PostgresCluster(const PostgresCluster &) = delete;
    PostgresCluster &operator=(const PostgresCluster &) = delete;
    ~PostgresCluster() { Stop(); }

    // Empty once it runs; otherwise why it cannot (no PostgreSQL installed).
    QString Start()
    {
        for (const QString &dir : QDir(QStringLiteral("/usr/lib/postgresql")).entryList(QDir::Dirs, QDir::Name))
            if (QFileInfo::exists(QStringLiteral("/usr/lib/postgresql/%1/bin/initdb").arg(dir)))
                bin = QStringLiteral("/usr/lib/postgresql/%1/bin/").arg(dir);
        if (bin.isEmpty())
            return QStringLiteral("needs PostgreSQL (apt install postgresql)");
        if (::geteuid() == 0) {
            const passwd *user = ::getpwnam("postgres");
            if (!user || ::chown(QFile::encodeName(folder.path()).constData(), user->pw_uid, user->pw_gid) != 0)
                return QStringLiteral("running as root, needs the user postgres to run PostgreSQL as");
        }
        port = FreePort();
        QString out;
        if (!Run(QStringLiteral("initdb"),
                {QStringLiteral("-D"), Data(), QStringLiteral("-U"), QStringLiteral("admin"),
                    QStringLiteral("--auth-local=trust"), QStringLiteral("--auth-host=scram-sha-256"),
                    QStringLiteral("--no-sync"), QStringLiteral("-E"), QStringLiteral("UTF8"),
                    QStringLiteral("--locale=C")},
                &out))
            return QStringLiteral("initdb failed: ") + out;
        if (!Resume())
            return QStringLiteral("PostgreSQL did not start: ") + Log();
        // A test that crashes or is killed never stops it: this, in a session of its own, does once
        // the test is gone, and takes the folder away with it.
        QProcess::startDetached(QStringLiteral("setsid"),
            {QStringLiteral("sh"), QStringLiteral("-c"),
                QStringLiteral("while kill -0 \"$0\" 2>/dev/null; do sleep 1; done; [ -f \"$1/postmaster.pid\" ] || "
                               "exit 0; if [ \"$3\" = root ]; then runuser -u postgres -- \"$2\" -D \"$1\" -m "
                               "immediate stop; else \"$2\" -D \"$1\" -m immediate stop; fi; rm -rf \"$4\""),
                QString::number(::getpid()), Data(), bin + QStringLiteral("pg_ctl"),
                ::geteuid() == 0 ? QStringLiteral("root") : QStringLiteral("user"), folder.path()},
            {}, nullptr);
        return {};
    }
    // Stops and starts the server again where it was, as an admin's restart or a power cut does.
    void Stop()
    {
        if (running)
            Run(QStringLiteral("pg_ctl"),
                {QStringLiteral("-D"), Data(), QStringLiteral("-m"), QStringLiteral("fast"), QStringLiteral("-w"),
                    QStringLiteral("stop")});
        running = false;
    }
    bool Resume()
    {
        const QString options
            = QStringLiteral("-p %1 -k %2 -c listen_addresses=127.0.0.1 -c fsync=off").arg(port).arg(folder.path());
        running = Run(QStringLiteral("pg_ctl"),
            {QStringLiteral("-D"), Data(), QStringLiteral("-l"), folder.filePath(QStringLiteral("log")),
                QStringLiteral("-w"), QStringLiteral("-o"), options, QStringLiteral("start")});
        return running;
    }

    // Class databases made with the SQL file a teacher runs, and two logins of the cluster: the
    // pupils' "schule7b" and the teacher "lehrerin", their passwords in a file where libpq looks
    // (PGPASSFILE); empty, or what went wrong.
    QString MakeClass(const QStringList &databases, const QString &sqlFile)
    {
        QString out;
        for (const QString &database : databases)
            if (!Psql(QStringLiteral("postgres"), QStringLiteral("CREATE DATABASE ") + database, &out)
                || !PsqlFile(database, sqlFile, &out))
                return out;
        if (!Psql(databases.value(0),
                QStringLiteral("CREATE ROLE schule7b LOGIN PASSWORD 'geheim' IN ROLE blinkdash_pupil; "
                               "CREATE ROLE lehrerin LOGIN PASSWORD 'tafel' IN ROLE blinkdash_teacher"),
                &out))
            return out;
        QFile pgpass(folder.filePath(QStringLiteral("pgpass"))); // a file others can read, libpq ignores
        if (!pgpass.open(QIODevice::WriteOnly) || pgpass.write("*:*:*:schule7b:geheim\n*:*:*:lehrerin:tafel\n") < 0
            || !pgpass.setPermissions(QFile::ReadOwner | QFile::WriteOwner))
            return pgpass.errorString();
        qputenv("PGPASSFILE", QFile::encodeName(pgpass.fileName()));
        return {};
    }

    // Freezes the server and every process of it (SIGSTOP), as a machine that hangs or a cable
    // pulled does to its clients; false thaws it.
    void Freeze(bool frozen)
    {
        QFile pidFile(QDir(Data()).filePath(QStringLiteral("postmaster.pid")));
        if (!pidFile.open(QIODevice::ReadOnly))
            return;
        const QByteArray postmaster = pidFile.readLine().trimmed();
        QProcess::execute(QStringLiteral("pkill"),
            {frozen ? QStringLiteral("-STOP") : QStringLiteral("-CONT"), QStringLiteral("-P"),
                QString::fromLatin1(postmaster)});
        ::kill(postmaster.toInt(), frozen ? SIGSTOP : SIGCONT);
    }

    // SQL run by psql as the superuser on database (stopping at the first error); false with what it said.
    bool Psql(const QString &database, const QString &sql, QString *out = nullptr, const QStringList &options = {})
    {
        return Run(QStringLiteral("psql"),
            options
                + QStringList {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-v"),
                    QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-h"), folder.path(), QStringLiteral("-p"),
                    QString::number(port), QStringLiteral("-U"), QStringLiteral("admin"), QStringLiteral("-d"),
                    database, QStringLiteral("-c"), sql},
            out);
    }
    // A query's answer, unaligned, a line per row, "|" between columns; empty on failure.
    QString Value(const QString &database, const QString &sql)
    {
        QString out;
        return Psql(database, sql, &out, {QStringLiteral("-At")}) ? out.trimmed() : QString();
    }
    bool PsqlFile(const QString &database, const QString &file, QString *out = nullptr)
    {
        return Run(QStringLiteral("psql"),
            {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1"),
                QStringLiteral("-h"), folder.path(), QStringLiteral("-p"), QString::number(port), QStringLiteral("-U"),
                QStringLiteral("admin"), QStringLiteral("-d"), database, QStringLiteral("-f"), file},
            out);
    }

    int Port() const { return port; }
    QString Log() const
    {
        QFile log(folder.filePath(QStringLiteral("log")));
        return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll().right(2000)) : QString();
    }

private:
    QString Data() const { return folder.filePath(QStringLiteral("data")); }

    bool Run(const QString &program, QStringList arguments, QString *out = nullptr)
    {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.setWorkingDirectory(folder.path()); // one the user postgres may enter
        if (::geteuid() == 0) {
            arguments.prepend(bin + program);
            arguments
                = QStringList {QStringLiteral("-u"), QStringLiteral("postgres"), QStringLiteral("--")} + arguments;
            process.start(QStringLiteral("runuser"), arguments);
        } else {
            process.start(bin + program, arguments);
        }
        const bool done
            = process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
        if (out)
            *out = QString::fromUtf8(process.readAll());
        return done;
    }

    // A port nobody listens on now: the one the system gives a socket bound to port 0.
    static int FreePort()
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        int port = 0;
        if (::bind(fd, reinterpret_cast<sockaddr *>(&address), size) == 0
            && ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &size) == 0)
            port = ntohs(address.sin_port);
        ::close(fd);
        return port;
    }

    QTemporaryDir folder;
    QString bin;
    int port = 0;
    bool running = false;
};
