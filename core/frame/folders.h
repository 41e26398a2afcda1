#pragma once

#include <QString>

// Where the program's files live. Every stored folder ends in a separator, so a file's path is
// the folder followed directly by the file name.
enum FolderKind {
    ProgramFolder = 1, // the program file's folder; the debug log lies here
    DataFolder = 2,    // settings and high-score list
    ExportFolder = 3,  // where the export dialog starts
};

class FolderTable
{
public:
    static constexpr int KindCount = 8;

    // Sets every kind to the folder of programPath.
    void Init(const QString &programPath);
    // Kinds outside 1..KindCount are ignored.
    void Set(int kind, const QString &folder);
    // Empty for kinds outside 1..KindCount.
    QString Path(int kind) const;

private:
    QString folders[KindCount + 1];
};

// The process-wide table, which the rest of the program reads through these.
void InitFolders(const QString &programPath);
void SetFolder(int kind, const QString &folder);
QString FolderPath(int kind);
QString DataPath(const QString &fileName, int kind);

// Appends "/" unless the folder already ends in "/" or "\".
QString NormalizedFolder(const QString &folder);

// The user's configuration folder, created if missing; empty if there is none or it cannot be made.
QString GetSpecialFolder();

// Where the user's own files are offered to be saved and looked for: the program's folder while it
// can be written and is not an installed program's (a copy run from a folder of its own), else the
// documents folder, else home.
QString UserFilesFolder();

// The data folder the program uses: GetSpecialFolder(), or the home folder when that is empty.
QString ChooseDataFolder();
