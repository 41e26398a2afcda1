#pragma once

#include "highscorefile.h"

#include <QAbstractTableModel>

// The high-score list, fastest first, as a two-column table (name, time in ms) for the score window.
class HighscoreList : public QAbstractTableModel
{
public:
    using QAbstractTableModel::QAbstractTableModel;

    enum SaveOutcome {
        Saved,
        LeftAlone, // the file's owner has made it read-only
        Failed,
    };

    // Adds the fastest entries of fileName in the data folder; a missing or unreadable file adds
    // nothing.
    void Load(const QString &fileName);
    // Replaces fileName in the data folder with the fastest entries, whole or not at all; on failure
    // reason says why, and the old file keeps every byte.
    SaveOutcome Save(const QString &fileName, QString *reason = nullptr) const;
    // Adds one entry at its place in the order; views are told.
    void Insert(const QString &name, int time);
    // Shows entries read elsewhere (the class's), in their order, in place of those shown.
    void Set(const QList<HighscoreEntry> &read);
    // Takes the entry in row away (a test run, a name mistyped); views are told.
    void Remove(int row);

    const QList<HighscoreEntry> &Entries() const { return entries; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QList<HighscoreEntry> entries;
};
