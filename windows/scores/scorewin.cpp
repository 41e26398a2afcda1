#include "scorewin.h"

#include "highscorelist.h"
#include "historywin.h"
#include "prompts.h"

#include <QGuiApplication>
#include <QHeaderView>

#include <algorithm>

namespace {

void NameTakesTheWidth(QTableView *view)
{
    QHeaderView *header = view->horizontalHeader();
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    header->setSectionResizeMode(1, QHeaderView::ResizeToContents);
}

void ShowClassParts(Ui_ScoreWin &ui, bool shown)
{
    for (QWidget *part :
        std::initializer_list<QWidget *> {ui.classButton, ui.localLabel, ui.classLabel, ui.classTableView})
        part->setVisible(shown);
    ui.listsLayout->setColumnStretch(1, shown ? 1 : 0); // else the local list keeps half the width
}

QString ClassTitle(const ServerAddress &server)
{
    return server.group.isEmpty() ? QStringLiteral("Klasse") : QStringLiteral("Klasse %1").arg(server.group);
}

} // namespace

ScoreWin::ScoreWin(QWidget *parent)
    : QDialog(parent)
{
    setupUi(this);
    ShowClassParts(*this, false); // until a class server is set
    classTableView->setModel(&classList);
    classTableView->setWordWrap(false);
    classLabel->setWordWrap(true); // a server's reason can be long
    tableView->setWordWrap(false); // a long name is elided on its one line, not wrapped and cut
    closeButton->setFocus();       // the table without focus: no row looks picked
}

void ScoreWin::ShowList(HighscoreList *highscores)
{
    list = highscores;
    tableView->setModel(list);
    NameTakesTheWidth(tableView);
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
    if (address.host.isEmpty())
        return;
    classButton->setText(ClassTitle(server) + QStringLiteral(" ..."));
    classLabel->setText(ClassTitle(server) + QStringLiteral(": wird geladen ..."));
    NameTakesTheWidth(classTableView);
    ShowClassParts(*this, true);
    resize(width() * 9 / 5, height()); // two lists, each as wide as one was
}

void ScoreWin::ShowClassList(const QList<HighscoreEntry> &entries, const QString &problem)
{
    classList.Set(entries);
    classLabel->setText(problem.isEmpty() ? ClassTitle(server) : ClassTitle(server) + QStringLiteral(": ") + problem);
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
    history.setWindowTitle(QStringLiteral("Verlauf der ") + ClassTitle(server));
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
