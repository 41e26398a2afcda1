#pragma once

#include <QByteArray>
#include <QString>

// A pseudo-terminal that stands in for a serial device: the program opens the slave side like any
// port, and whoever holds this object plays the box on the master side. POSIX only.
class PseudoTerminal
{
public:
    PseudoTerminal() = default;
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    // Creates the pair; the slave is raw (no echo, no line editing) and kept open here, so that the
    // master neither hangs up nor echoes while no program has the port. Empty error when it worked.
    QString Open();
    // Points a symbolic link at the slave (replacing an old link); removed again on destruction.
    QString LinkAs(const QString &linkPath);
    // Hangs up as an unplugged device would: the program's reads fail from now on.
    void Close();

    QString SlavePath() const { return slavePath; }
    int MasterFd() const { return master; }
    int SlaveFd() const { return slave; } // shares the line settings the program gives the port
    bool IsOpen() const { return master >= 0; }

    // What the program has sent so far and not yet read here; never waits.
    QByteArray ReadAvailable();
    // Waits up to timeoutMs for at least one byte, then returns what is there.
    QByteArray Read(int timeoutMs);
    bool Write(const QByteArray &bytes);

private:
    int master = -1;
    int slave = -1;
    QString slavePath;
    QString linkPath;
};
