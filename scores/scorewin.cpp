#include "scorewin.h"

#include "historywin.h"

#include <QHeaderView>

ScoreWin::ScoreWin(QWidget *parent)
    : QDialog(parent)
{
    setupUi(this);
    tableView->setWordWrap(false); // a long name is elided on its one line, not wrapped and cut
    closeButton->setFocus();       // the table without focus: no row looks picked
}

void ScoreWin::ShowList(QAbstractItemModel *list)
{
    tableView->setModel(list);
    QHeaderView *header = tableView->horizontalHeader();
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    header->setSectionResizeMode(1, QHeaderView::ResizeToContents);
}

void ScoreWin::SetJournal(Journal *runJournal)
{
    journal = runJournal;
    historyButton->setEnabled(journal);
    if (!journal) {
        historyButton->setText(QStringLiteral("Verlauf ist aus"));
        historyButton->setToolTip(QStringLiteral("journal=false in blinkdash.ini"));
    }
}

void ScoreWin::on_historyButton_clicked()
{
    if (!journal)
        return;
    HistoryWin history(*journal, this);
    history.exec();
}
