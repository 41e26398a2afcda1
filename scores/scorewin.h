#pragma once

#include "ui_scorewin.h"

#include <QDialog>

class Journal;

// The modal window that shows the high-score list; it reads the list and changes nothing.
class ScoreWin : public QDialog, public Ui_ScoreWin
{
    Q_OBJECT

public:
    explicit ScoreWin(QWidget *parent = nullptr);

    // Shows list: the name takes the width the time leaves.
    void ShowList(QAbstractItemModel *list);
    // "Verlauf ..." opens the journal's window; without a journal (turned off) the button says so.
    void SetJournal(Journal *journal);

private Q_SLOTS:
    void on_historyButton_clicked();

private:
    Journal *journal = nullptr;
};
