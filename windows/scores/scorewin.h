#pragma once

#include "ui_scorewin.h"

#include <QDialog>

#include <optional>

class HighscoreList;
class Journal;

// The modal window that shows the high-score list; an entry picked can be removed after a question.
class ScoreWin : public QDialog, public Ui_ScoreWin
{
    Q_OBJECT

public:
    explicit ScoreWin(QWidget *parent = nullptr);

    // Shows list: the name takes the width the time leaves.
    void ShowList(HighscoreList *list);
    // "Verlauf ..." opens the journal's window, at historySize where given; without a journal
    // (turned off) the button says so.
    void SetJournal(Journal *journal, std::optional<QSize> historySize = std::nullopt);

Q_SIGNALS:
    void ListChanged(); // an entry was removed: the list wants saving
    void HistoryResized(QSize size);

private Q_SLOTS:
    void on_deleteButton_clicked();
    void on_historyButton_clicked();

private:
    HighscoreList *list = nullptr;
    Journal *journal = nullptr;
    std::optional<QSize> historySize;
};
