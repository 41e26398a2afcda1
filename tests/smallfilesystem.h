#pragma once

// A file system of a few pages that a test can fill to the last byte: a tmpfs mounted on a
// temporary folder. Mounting needs root, as CI has; elsewhere IsMounted() is false.

#include <QFile>
#include <QTemporaryDir>

#include <sys/mount.h>

class SmallFileSystem
{
public:
    SmallFileSystem()
    {
        mounted = ::mount("tmpfs", QFile::encodeName(dir.path()).constData(), "tmpfs", 0, "size=64k") == 0;
    }
    ~SmallFileSystem()
    {
        if (mounted)
            ::umount2(QFile::encodeName(dir.path()).constData(), MNT_DETACH);
    }

    bool IsMounted() const { return mounted; }
    QString FilePath(const QString &name) const { return dir.filePath(name); }

    // Takes every free byte.
    void Fill()
    {
        QFile filler(FilePath("filler"));
        if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return;
        const QByteArray block(4096, 'x');
        while (filler.write(block) > 0)
            ;
        while (filler.write("x", 1) > 0) // whatever a partial write left
            ;
    }

private:
    QTemporaryDir dir;
    bool mounted = false;
};
