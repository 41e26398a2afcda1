#pragma once

#include "classserver.h"
#include "highscorelist.h"
#include "ui_scorewin.h"

#include <QDialog>

#include <optional>

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
    // "Klasse ..." opens the window "Verlauf" on the class server's runs of the group, and the
    // class's high scores show beside the local ones, once ShowClassList has them; both only where
    // a server is set.
    void SetClassServer(const ServerAddress &address);
    void ShowClassList(const QList<HighscoreEntry> &entries, const QString &problem);

Q_SIGNALS:
    void ListChanged(); // an entry was removed: the list wants saving
    void HistoryResized(QSize size);

private Q_SLOTS:
    void on_deleteButton_clicked();
    void on_historyButton_clicked();
    void on_classButton_clicked();

private:
    HighscoreList *list = nullptr;
    Journal *journal = nullptr;
    std::optional<QSize> historySize;
    ServerAddress server;
    HighscoreList classList;
};
