#include "highscorelist.h"

#include "folders.h"
#include "safefile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

void HighscoreList::Load(const QString &fileName)
{
    QFile file(DataPath(fileName, DataFolder));
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QList<HighscoreEntry> read = ReadHighscores(file);
    if (read.isEmpty())
        return;
    beginResetModel();
    entries += read;
    SortHighscores(entries);
    endResetModel();
}

HighscoreList::SaveOutcome HighscoreList::Save(const QString &fileName, QString *reason) const
{
    const QString path = DataPath(fileName, DataFolder);
    // Checked by the mode bits, since an atomic replace would go around them (and root around both).
    const QFileInfo existing(path);
    if (existing.isFile() && (!existing.isWritable() || !(existing.permissions() & QFileDevice::WriteOwner)))
        return LeftAlone;
    return WriteFileWhole(path, FormatHighscores(entries), reason) ? Saved : Failed;
}

void HighscoreList::Insert(const QString &name, int time)
{
    // After every entry of the same time: the earlier one keeps its place.
    const auto place = std::upper_bound(
        entries.cbegin(), entries.cend(), time, [](int t, const HighscoreEntry &entry) { return t < entry.time; });
    const int row = static_cast<int>(place - entries.cbegin());
    beginInsertRows(QModelIndex(), row, row);
    entries.insert(row, HighscoreEntry {name, time});
    endInsertRows();
}

void HighscoreList::Set(const QList<HighscoreEntry> &read)
{
    beginResetModel();
    entries = read;
    endResetModel();
}

void HighscoreList::Remove(int row)
{
    if (row < 0 || row >= entries.size())
        return;
    beginRemoveRows(QModelIndex(), row, row);
    entries.removeAt(row);
    endRemoveRows();
}

int HighscoreList::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(entries.size());
}

int HighscoreList::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 2;
}

QVariant HighscoreList::data(const QModelIndex &index, int role) const
{
    if (index.row() < 0 || index.row() >= entries.size())
        return QVariant();
    const HighscoreEntry &entry = entries.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        if (index.column() == 0)
            return entry.name;
        if (index.column() == 1)
            return entry.time;
        return QVariant();
    case Qt::TextAlignmentRole:
        return static_cast<int>((index.column() == 0 ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter);
    default:
        return QVariant();
    }
}

QVariant HighscoreList::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return QVariant();
    if (orientation == Qt::Vertical)
        return section;
    if (section == 0)
        return QCoreApplication::translate("QAbstractTableModel", "Name");
    if (section == 1)
        return QStringLiteral("Zeit/ms");
    return QVariant();
}
