#include "mainwindowdriver.h"
#include "scorewin.h"
#include "smallfilesystem.h"

// What happens to a run's times afterwards, driven through the main window as a person would: the
// high-score entry, the high-score window and the export dialog.
class TestResults : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void evaluatedRunsEnterTheListAndItsWindow();
    void exportWritesTheLastRunsTimes();
    void fullDiskKeepsOldFilesAndSaysSo();

private:
    void NewWindow()
    {
        delete window;
        window = OpenMainWindow("cnt=4\nminDel=0.01\nmaxDel=0.02\n");
    }
    QList<int> Run(const QString &name, int answers); // the times measured
    QByteArray Read(const QString &path) const;
    QStringList ShownScores(); // opens the high-score window, reads it, closes it with Escape

    QTemporaryDir temp;
    MainWindow *window = nullptr;
    std::unique_ptr<ModalAnswerer> answerer;
};

void TestResults::init()
{
    SetFolder(DataFolder, temp.path());
    SetFolder(ExportFolder, temp.path());
    QFile::remove(temp.filePath("blinkdash.txt"));
    answerer = std::make_unique<ModalAnswerer>();
    NewWindow();
}

void TestResults::cleanup()
{
    answerer.reset();
    delete window;
    window = nullptr;
}

QList<int> TestResults::Run(const QString &name, int answers)
{
    window->lineEdit->clear();
    for (const QChar c : name) // keyClicks knows only ASCII
        QTest::sendKeyEvent(QTest::Click, window->lineEdit, Qt::Key_unknown, c, Qt::NoModifier);
    QTest::mouseClick(window->startButton, Qt::LeftButton);
    auto *action = TopLevel<ActionWin>();
    QSignalSpy times(action, &ActionWin::SignalResult);
    for (int i = 0; i < answers && PressWhenShown(action, i % 2 ? 12 : 3); ++i) // spread: not all alike
        ;
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

void TestResults::evaluatedRunsEnterTheListAndItsWindow()
{
    const QString headers = "Dialog 400x430 Name Zeit/ms";
    QCOMPARE(ShownScores(), QStringList(headers)); // an empty list: the headers only
    QVERIFY(!QApplication::activeModalWidget());   // Escape closed it

    Run("  Anna  Maier ", 4);
    const QString anna = window->resultLabel->text();
    QVERIFY(anna != " --- ");
    // Saved at once, the name as typed, and shown the next time the window opens.
    QCOMPARE(Read(temp.filePath("blinkdash.txt")), (anna + "   Anna  Maier \n").toUtf8());
    QCOMPARE(ShownScores(), QStringList({headers, "0:" + anna + ":  Anna  Maier "}));

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
    answerer->nextFile.clear();
    QTest::mouseClick(window->saveButton, Qt::LeftButton); // cancelled: nothing written, nothing said
    QVERIFY(!QFile::exists(path));
    QCOMPARE(answerer->seen, QStringList("Wähle einen Dateinamen zum Abspeichern|" + temp.path()));

    answerer->nextFile = path;
    QTest::mouseClick(window->saveButton, Qt::LeftButton); // before any run: an empty file
    QCOMPARE(Read(path), QByteArray());

    const QList<int> times = Run("", 4);
    QCOMPARE(times.size(), 4);
    QTest::mouseClick(window->saveButton, Qt::LeftButton); // over the old file, after asking
    QByteArray expected;
    for (int t : times)
        expected += QByteArray::number(t) + '\n';
    QCOMPARE(Read(path), expected);
    QCOMPARE(answerer->seen.size(), 4);
    QVERIFY(answerer->seen.at(3).contains("times.txt")); // the overwrite question

    // Where nothing can be written, and a device that takes nothing: said so, nothing left behind.
    for (const char *place : {"/proc/blinkdash-times.txt", "/dev/full"}) {
        answerer->seen.clear();
        answerer->nextFile = place;
        QTest::mouseClick(window->saveButton, Qt::LeftButton);
        QCOMPARE(answerer->seen.last(), QString("Fehler beim Speichern|Die Datei konnte nicht gespeichert werden!"));
    }
    QVERIFY(!QFile::exists("/proc/blinkdash-times.txt"));
    QVERIFY(QFileInfo("/dev/full").isFile() == false); // still the device, not replaced by a file
}

// On a full disk every file keeps its old content, the person is told once, and the results wait in
// memory for the next save.
void TestResults::fullDiskKeepsOldFilesAndSaysSo()
{
    SmallFileSystem disk;
    if (!disk.IsMounted())
        QSKIP("needs root to mount a small tmpfs (CI runs as root)");
    delete window;
    window = nullptr;
    SetFolder(DataFolder, disk.FilePath({}));
    const QByteArray scores = "300 Anna\n310 Bert\n320 Carl\n";
    const QByteArray times = "280\n290\n";
    for (const auto &[name, content] : {std::pair {"blinkdash.txt", scores}, {"times.txt", times}}) {
        QFile file(disk.FilePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    }
    NewWindow();
    const QByteArray ini = Read(disk.FilePath("blinkdash.ini"));
    disk.Fill();

    Run("Dora", 4);
    Run("Emil", 4);
    QCOMPARE(answerer->seen.size(), 1); // once per session
    QVERIFY2(answerer->seen.first().startsWith("Fehler beim Speichern|Die HighScores konnten nicht gespeichert werden."
                                               "\n\nDatei: "
                 + disk.FilePath("blinkdash.txt") + "\nGrund: "),
        qPrintable(answerer->seen.first()));
    answerer->nextFile = disk.FilePath("times.txt");
    QTest::mouseClick(window->saveButton, Qt::LeftButton);
    QCOMPARE(answerer->seen.last(), QString("Fehler beim Speichern|Die Datei konnte nicht gespeichert werden!"));
    delete window; // stores settings and scores at exit, quietly
    window = nullptr;
    QCOMPARE(Read(disk.FilePath("blinkdash.txt")), scores);
    QCOMPARE(Read(disk.FilePath("times.txt")), times);
    QCOMPARE(Read(disk.FilePath("blinkdash.ini")), ini);
    QCOMPARE(QDir(disk.FilePath({})).entryList(QDir::Files).size(), 4); // no temporary files left

    QFile::remove(disk.FilePath("filler"));
    NewWindow();
    disk.Fill();
    Run("Dora", 4);
    QFile::remove(disk.FilePath("filler"));
    Run("Emil", 4); // room again: both new entries reach the file
    QCOMPARE(Read(disk.FilePath("blinkdash.txt")).split('\n').size(), 6);
}

QTEST_MAIN(TestResults)
#include "tst_results.moc"
