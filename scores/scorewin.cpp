#include "scorewin.h"

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
