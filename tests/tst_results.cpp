#include "actionwin.h"
#include "folders.h"
#include "mainwindow.h"
#include "scorewin.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QtTest>

// What happens to a run's times afterwards, driven through the main window as a person would: the
// high-score entry, the high-score window and the export dialog.
class TestResults : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void evaluatedRunsEnterTheListUnderTheirName();
    void scoreWindowShowsTheList();
    void exportWritesTheLastRunsTimes();

private:
    void NewWindow();
    QList<int> Run(const QString &name, int answers); // the times measured
    QByteArray Read(const QString &path) const;
    QStringList ShownScores(); // opens the high-score window, reads it, closes it with Escape

    QTemporaryDir temp;
    MainWindow *window = nullptr;
    // Modal windows are answered by a timer: the file dialog with nextFile (empty: cancel), message
    // boxes with Yes or OK, each recorded as "title|text".
    QString nextFile;
    QStringList messages;
    QTimer answerer;
};

void TestResults::init()
{
    SetFolder(DataFolder, temp.path());
    SetFolder(ExportFolder, temp.path());
    QFile::remove(temp.filePath("blinkdash.txt"));
    QFile file(temp.filePath("blinkdash.ini"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[Common]\ncnt=4\nminDel=0.01\nmaxDel=0.02\n");
    file.close();
    messages.clear();
    connect(&answerer, &QTimer::timeout, this, [this] {
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            messages.append(box->windowTitle() + '|' + box->text());
            (box->button(QMessageBox::Yes) ? box->button(QMessageBox::Yes) : box->button(QMessageBox::Ok))->click();
        } else if (auto *dialog = qobject_cast<QFileDialog *>(modal);
                   dialog && !dialog->property("answered").toBool()) {
            dialog->setProperty("answered", true);
            messages.append(dialog->windowTitle() + '|' + dialog->directory().path());
            if (nextFile.isEmpty()) {
                dialog->reject();
                return;
            }
            // Typed and confirmed with Enter from a timer of its own: the overwrite question runs a
            // loop of its own, and this timer cannot fire again inside its own callback.
            auto *name = dialog->findChild<QLineEdit *>("fileNameEdit");
            name->setText(nextFile);
            QTimer::singleShot(0, name, [name] { QTest::keyClick(name, Qt::Key_Return); });
        }
    });
    answerer.start(20);
    NewWindow();
}

void TestResults::cleanup()
{
    answerer.disconnect();
    delete window;
    window = nullptr;
}

void TestResults::NewWindow()
{
    delete window;
    window = new MainWindow;
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    window->show();
}

QList<int> TestResults::Run(const QString &name, int answers)
{
    window->lineEdit->clear();
    for (const QChar c : name) // keyClicks knows only ASCII
        QTest::sendKeyEvent(QTest::Click, window->lineEdit, Qt::Key_unknown, c, Qt::NoModifier);
    QTest::mouseClick(window->startButton, Qt::LeftButton);
    ActionWin *action = nullptr;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *a = qobject_cast<ActionWin *>(w))
            action = a;
    QSignalSpy times(action, &ActionWin::SignalResult);
    for (int i = 0; i < answers; ++i) {
        if (!QTest::qWaitFor([&] { return action->SignalVisible(); }, 5000))
            break;
        QTest::qWait(i % 2 ? 12 : 3); // spread, so that the times are not all alike
        QTest::keyClick(action, Qt::Key_Space);
    }
    QTest::keyClick(action, Qt::Key_Escape);
    QList<int> measured;
    for (const QList<QVariant> &t : times)
        measured.append(t.at(0).toInt());
    return measured;
}

QByteArray TestResults::Read(const QString &path) const
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(none)");
}

void TestResults::evaluatedRunsEnterTheListUnderTheirName()
{
    Run("  Anna  Maier ", 4);
    const QString anna = window->resultLabel->text();
    QVERIFY(anna != " --- ");
    // Saved at once, the name as typed: no crash after this can lose the result.
    QCOMPARE(Read(temp.filePath("blinkdash.txt")), (anna + "   Anna  Maier \n").toUtf8());

    Run(" \t ", 4); // a result, but no name: no entry
    QVERIFY(window->resultLabel->text() != " --- ");
    Run("Bert", 3); // three times: no result, no entry
    QCOMPARE(window->resultLabel->text(), QString(" --- "));
    Run("Jürgen", 4);
    const QString juergen = window->resultLabel->text();

    NewWindow(); // a restart: the list comes back, fastest first, names whole and simplified
    QStringList expected {"0:" + anna + ":Anna Maier", "1:" + juergen + ":Jürgen"};
    if (juergen.toInt() < anna.toInt())
        expected = QStringList {"0:" + juergen + ":Jürgen", "1:" + anna + ":Anna Maier"};
    QCOMPARE(ShownScores().mid(1), expected);
}

void TestResults::scoreWindowShowsTheList()
{
    QCOMPARE(ShownScores(), QStringList("Dialog 400x430 Name Zeit/ms")); // headers only
    QVERIFY(!QApplication::activeModalWidget());                         // Escape closed it

    Run("Zoe", 4);
    QCOMPARE(ShownScores(), QStringList({"Dialog 400x430 Name Zeit/ms", "0:" + window->resultLabel->text() + ":Zoe"}));
}

QStringList TestResults::ShownScores()
{
    // The window's title, size and headers, then "row header:time:name" per row.
    QStringList shown;
    QTimer::singleShot(50, this, [&] {
        auto *scores = qobject_cast<ScoreWin *>(QApplication::activeModalWidget());
        if (!scores)
            return;
        const QAbstractItemModel *model = scores->tableView->model();
        shown.append(
            QStringLiteral("%1 %2x%3 %4 %5")
                .arg(scores->windowTitle())
                .arg(scores->width())
                .arg(scores->height())
                .arg(model->headerData(0, Qt::Horizontal).toString(), model->headerData(1, Qt::Horizontal).toString()));
        for (int r = 0; r < model->rowCount(); ++r)
            shown.append(QStringLiteral("%1:%2:%3")
                             .arg(model->headerData(r, Qt::Vertical).toString(), model->index(r, 1).data().toString(),
                                 model->index(r, 0).data().toString()));
        QTest::keyClick(scores, Qt::Key_Escape);
    });
    QTest::mouseClick(window->scoreButton, Qt::LeftButton); // returns when the modal window has closed
    return shown;
}

void TestResults::exportWritesTheLastRunsTimes()
{
    const QString path = temp.filePath("times.txt");
    nextFile.clear();
    QTest::mouseClick(window->saveButton, Qt::LeftButton); // cancelled: nothing written, nothing said
    QVERIFY(!QFile::exists(path));
    QCOMPARE(messages, QStringList("Wähle einen Dateinamen zum Abspeichern|" + temp.path()));

    nextFile = path;
    QTest::mouseClick(window->saveButton, Qt::LeftButton); // before any run: an empty file
    QCOMPARE(Read(path), QByteArray());

    const QList<int> times = Run("", 4);
    QCOMPARE(times.size(), 4);
    QTest::mouseClick(window->saveButton, Qt::LeftButton); // over the old file, after asking
    QByteArray expected;
    for (int t : times)
        expected += QByteArray::number(t) + '\n';
    QCOMPARE(Read(path), expected);
    QCOMPARE(messages.size(), 4);
    QVERIFY(messages.at(3).contains("times.txt")); // the overwrite question

    messages.clear();
    nextFile = "/proc/blinkdash-times.txt"; // no one may create files here, root included
    QTest::mouseClick(window->saveButton, Qt::LeftButton);
    QCOMPARE(messages.last(), QString("Fehler beim Speichern|Die Datei konnte nicht gespeichert werden!"));
    QVERIFY(!QFile::exists(nextFile));
}

QTEST_MAIN(TestResults)
#include "tst_results.moc"
