#include "scorewin.h"

#include "highscorelist.h"
#include "historywin.h"
#include "prompts.h"

#include <QGuiApplication>
#include <QHeaderView>

#include <algorithm>

ScoreWin::ScoreWin(QWidget *parent)
    : QDialog(parent)
{
    setupUi(this);
    classButton->hide();           // until a class server is set
    tableView->setWordWrap(false); // a long name is elided on its one line, not wrapped and cut
    closeButton->setFocus();       // the table without focus: no row looks picked
}

void ScoreWin::ShowList(HighscoreList *highscores)
{
    list = highscores;
    tableView->setModel(list);
    QHeaderView *header = tableView->horizontalHeader();
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    header->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    deleteButton->setEnabled(false);
    connect(tableView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
        [this] { deleteButton->setEnabled(tableView->selectionModel()->hasSelection()); });
}

void ScoreWin::on_deleteButton_clicked()
{
    QList<int> rows;
    for (const QModelIndex &index : tableView->selectionModel()->selectedRows())
        rows << index.row();
    if (rows.isEmpty())
        return;
    const HighscoreEntry &first = list->Entries().at(rows.first());
    const QString question = rows.size() == 1
        ? QStringLiteral("Den Eintrag „%1“ (%2 ms) aus den HighScores löschen?").arg(first.name).arg(first.time)
        : QStringLiteral("Die %1 gewählten Einträge aus den HighScores löschen?").arg(rows.size());
    if (!Prompt::Question(this, QStringLiteral("HighScores"), question))
        return;
    std::sort(rows.rbegin(), rows.rend()); // from the bottom, so that the rows above keep their numbers
    for (const int row : rows)
        list->Remove(row);
    Q_EMIT ListChanged();
}

void ScoreWin::SetJournal(Journal *runJournal, std::optional<QSize> size)
{
    journal = runJournal;
    historySize = size;
    historyButton->setEnabled(journal);
    if (!journal) {
        historyButton->setText(QStringLiteral("Verlauf ist aus"));
        historyButton->setToolTip(QStringLiteral("journal=false in blinkdash.ini"));
    }
}

void ScoreWin::SetClassServer(const ServerAddress &address)
{
    server = address;
    classButton->setVisible(!address.host.isEmpty());
    if (!address.group.isEmpty())
        classButton->setText(QStringLiteral("Klasse %1 ...").arg(address.group));
}

void ScoreWin::on_classButton_clicked()
{
    ClassServer store(server);
    QGuiApplication::setOverrideCursor(Qt::WaitCursor); // at most the connect timeout
    const QString reason = store.Open();
    QGuiApplication::restoreOverrideCursor();
    if (!reason.isEmpty()) {
        Prompt::Critical(this, QStringLiteral("Klassenserver"), reason);
        return;
    }
    HistoryWin history(store, this);
    history.setWindowTitle(server.group.isEmpty() ? QStringLiteral("Verlauf der Klasse")
                                                  : QStringLiteral("Verlauf der Klasse %1").arg(server.group));
    if (historySize)
        history.resize(*historySize);
    history.exec();
}

void ScoreWin::on_historyButton_clicked()
{
    if (!journal)
        return;
    HistoryWin history(*journal, this);
    if (historySize)
        history.resize(*historySize);
    const QSize opened = history.size();
    history.exec();
    const QSize closed = history.isMaximized() ? history.normalGeometry().size() : history.size();
    if (closed != opened) // kept only once the person chose a size: else it follows the font
        Q_EMIT HistoryResized(historySize.emplace(closed));
}
