#include "aboutwin.h"
#include "actionwin.h"
#include "configwin.h"
#include "mainwindowdriver.h"
#include "portname.h"
#include "pseudoterminal.h"
#include "switchbox.h"

#include <QDesktopServices>
#include <QSoundEffect>

#include <functional>

// Stands in for the desktop's browser: records each URL it is asked to open.
class UrlRecorder : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public Q_SLOTS:
    void open(const QUrl &url) { opened.append(url); }
};

// The settings dialog and the about window, opened from the main window as a person would.
class TestDialogs : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void settingsShowClampedAndComeBack_data();
    void settingsShowClampedAndComeBack();
    void cancelChangesNothing_data();
    void cancelChangesNothing();
    void okReopensTheBox();
    void nextRunUsesTheNewCountAndPosition();
    void aboutWindow_data();
    void aboutWindow();

private:
    // Clicks button and hands the modal window it opens to answer, which ends it.
    template<class Dialog> void InDialog(QAbstractButton *button, const std::function<void(Dialog *)> &answer);
    void InConfigDialog(const std::function<void(ConfigWin *)> &answer) { InDialog(window->configButton, answer); }
    void ClickOk(ConfigWin *dialog) { dialog->buttonBox->button(QDialogButtonBox::Ok)->click(); }
    QString DialogNow(); // what the dialog shows when opened now, as one line
    Settings StoredNow();

    QTemporaryDir temp;
    MainWindow *window = nullptr;
    std::unique_ptr<ModalAnswerer> answerer;
};

namespace {

// Clicks a check box or radio button on its text, where a person would; its right end may be empty.
void Tick(QAbstractButton *button)
{
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, button->height() / 2));
}

QString Shown(const ConfigWin *d)
{
    return QStringLiteral("random=%1 screen=%2 box=%3 com=%4 cnt=%5 s=%6-%7 warn=%8 ms=%9-%10 wav=%11")
        .arg(d->checkBoxRandom->isChecked())
        .arg(d->radioButtonScreen->isChecked())
        .arg(d->radioButtonBox->isChecked())
        .arg(d->spinBoxCom->value())
        .arg(d->spinBoxCnt->value())
        .arg(d->spinBoxMin->text(), d->spinBoxMax->text())
        .arg(d->checkBoxAkkust->isChecked())
        .arg(d->spinBoxMinAkkust->value())
        .arg(d->spinBoxMaxAkkust->value())
        .arg(d->lineEditWav->text());
}

// The stored settings in the same words; cnt is never stored.
QString Stored(const Settings &s)
{
    return QStringLiteral("random=%1 box=%2 com=%3 s=%4-%5 warn=%6 ms=%7-%8 wav=%9")
        .arg(s.randomPosition)
        .arg(s.useBox)
        .arg(s.boxCom)
        .arg(s.minDel)
        .arg(s.maxDel)
        .arg(s.enableWav)
        .arg(s.minAkkust)
        .arg(s.maxAkkust)
        .arg(s.wavFile);
}

// The three ways out of a dialog: its button, Escape, and the title bar's close button.
void AddWaysToClose(const char *button)
{
    QTest::addColumn<int>("way");
    QTest::newRow(button) << 0;
    QTest::newRow("Escape") << 1;
    QTest::newRow("title bar") << 2;
}

void CloseBy(int way, QDialog *dialog, QAbstractButton *button)
{
    if (way == 0)
        QTest::mouseClick(button, Qt::LeftButton);
    else if (way == 1)
        QTest::keyClick(dialog, Qt::Key_Escape);
    else
        dialog->close();
    QVERIFY(!dialog->isVisible());
}

} // namespace

void TestDialogs::init()
{
    SetFolder(DataFolder, temp.path());
    QDir::setCurrent(temp.path());
    answerer = std::make_unique<ModalAnswerer>();
}

void TestDialogs::cleanup()
{
    answerer.reset();
    delete window;
    window = nullptr;
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
}

template<class Dialog> void TestDialogs::InDialog(QAbstractButton *button, const std::function<void(Dialog *)> &answer)
{
    bool reached = false;
    QTimer::singleShot(0, this, [&] {
        auto *dialog = qobject_cast<Dialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        reached = true;
        answer(dialog);
        if (dialog->isVisible())
            dialog->reject(); // a failed check must not leave the test waiting
    });
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(reached);
}

QString TestDialogs::DialogNow()
{
    QString shown;
    InConfigDialog([&](ConfigWin *dialog) { shown = Shown(dialog); });
    return shown;
}

// OK stores the settings at once: a logout or a lost display must not take them.
Settings TestDialogs::StoredNow()
{
    return ReadSettings(DataPath("blinkdash.ini", DataFolder));
}

void TestDialogs::settingsShowClampedAndComeBack_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("stored");
    QTest::newRow("above the ranges")
        << QByteArray("cnt=301\nboxCom=100\nminDel=60.01\nmaxDel=1e9\nminAkkust=10001\nmaxAkkust=2147483647\n")
        << "random=1 screen=1 box=0 com=99 cnt=300 s=60.0-60.0 warn=0 ms=10000-10000 wav=ding.wav"
        << "random=1 box=0 com=99 s=60-60 warn=0 ms=10000-10000 wav=ding.wav";
    QTest::newRow("below the ranges") << QByteArray(
        "cnt=0\nboxCom=-1\nminDel=0.04\nmaxDel=0.99\nminAkkust=-1\nmaxAkkust=-2147483648\n")
                                      << "random=1 screen=1 box=0 com=0 cnt=1 s=0.1-1.0 warn=0 ms=0-0 wav=ding.wav"
                                      << "random=1 box=0 com=0 s=0.1-1 warn=0 ms=0-0 wav=ding.wav";
    QTest::newRow("one decimal") << QByteArray("minDel=2.34\nmaxDel=2.36\n")
                                 << "random=1 screen=1 box=0 com=0 cnt=20 s=2.3-2.4 warn=0 ms=300-1000 wav=ding.wav"
                                 << "random=1 box=0 com=0 s=2.3-2.4 warn=0 ms=300-1000 wav=ding.wav";
    QTest::newRow("not numbers") << QByteArray("minDel=nan\nmaxDel=-inf\n")
                                 << "random=1 screen=1 box=0 com=0 cnt=20 s=0.1-1.0 warn=0 ms=300-1000 wav=ding.wav"
                                 << "random=1 box=0 com=0 s=0.1-1 warn=0 ms=300-1000 wav=ding.wav";
    QTest::newRow("box, warning, no file")
        << QByteArray("useBox=true\nboxCom=42\nrandomPosition=false\nenableWav=true\nwavFile=\n")
        << "random=0 screen=0 box=1 com=42 cnt=20 s=2.0-7.0 warn=1 ms=300-1000 wav="
        << "random=0 box=1 com=42 s=2-7 warn=1 ms=300-1000 wav=";
}

void TestDialogs::settingsShowClampedAndComeBack()
{
    QFETCH(QByteArray, ini);
    QFETCH(QString, shown);
    QFETCH(QString, stored);
    window = OpenMainWindow(ini);
    InConfigDialog([&](ConfigWin *dialog) {
        QCOMPARE(Shown(dialog), shown);
        ClickOk(dialog);
    });
    QCOMPARE(DialogNow(), shown); // the values now in force
    QCOMPARE(Stored(StoredNow()), stored);
}

void TestDialogs::cancelChangesNothing_data()
{
    AddWaysToClose("Cancel");
}

void TestDialogs::cancelChangesNothing()
{
    QFETCH(int, way);
    for (const char *name : {"a.wav", "b.wav"}) // the chooser wants existing files; the sound is not played
        QFile(temp.filePath(name)).open(QIODevice::WriteOnly);
    window = OpenMainWindow("wavFile=a.wav\n");
    const QString before = DialogNow();

    InConfigDialog([&](ConfigWin *d) {
        QTest::mouseClick(d->selectWavButton, Qt::LeftButton); // the chooser cancelled: nothing changes
        QCOMPARE(d->lineEditWav->text(), QString("a.wav"));
        answerer->nextFile = temp.filePath("b.wav");
        QTest::mouseClick(d->selectWavButton, Qt::LeftButton);
        QCOMPARE(d->lineEditWav->text(), temp.filePath("b.wav"));
        d->spinBoxCnt->setValue(5);
        Tick(d->radioButtonBox);
        CloseBy(way, d, d->buttonBox->button(QDialogButtonBox::Cancel));
    });
    // The chooser starts in the folder where the sound was found and offers WAV files.
    QCOMPARE(answerer->seen, QStringList(2, "Wählen Sie die Datei mit dem Signalton|" + temp.path()));
    QCOMPARE(answerer->fileFilters.first(), QString("WAV files (*.wav)"));
    QCOMPARE(DialogNow(), before);
    QCOMPARE(StoredNow().wavFile, QString("a.wav"));
}

void TestDialogs::okReopensTheBox()
{
    const QString link = DataPath(BoxPortLinkName(5), DataFolder);
    PseudoTerminal first, second;
    QCOMPARE(first.Open(), QString());
    QCOMPARE(first.LinkAs(link), QString());
    window = OpenMainWindow("useBox=true\nboxCom=5\n");
    auto *box = window->findChild<SwitchBox *>();
    QVERIFY(box->IsOpen());

    // OK without a change opens COM5 afresh, which now names another device.
    QCOMPARE(second.Open(), QString());
    QCOMPARE(second.LinkAs(link), QString());
    InConfigDialog([&](ConfigWin *d) { ClickOk(d); });
    box->SetLED(true);
    QCOMPARE(second.Read(1000), QByteArray("L 1\n"));
    QCOMPARE(first.ReadAvailable(), QByteArray());

    InConfigDialog([&](ConfigWin *d) {
        Tick(d->radioButtonScreen);
        ClickOk(d);
    });
    QVERIFY(!box->IsOpen());

    // A box that cannot be opened is reported; the choice stands all the same.
    QFile::remove(link);
    QVERIFY(QFile::link(temp.filePath("unplugged"), link)); // never a real port of this machine
    InConfigDialog([&](ConfigWin *d) {
        Tick(d->radioButtonBox);
        ClickOk(d);
    });
    QCOMPARE(answerer->seen,
        QStringList("Fehler beim Öffnen der Schaltbox|Die Schnittstelle COM5 konnte nicht geöffnet werden.!"));
    QVERIFY(StoredNow().useBox);
}

// Edits in the dialog take effect in the next run.
void TestDialogs::nextRunUsesTheNewCountAndPosition()
{
    const QString warning = temp.filePath("warning.wav");
    QVERIFY(QFile::copy(qEnvironmentVariable("BLINKDASH_BIN_DIR") + "/ding.wav", warning));
    window = OpenMainWindow("cnt=20\nminDel=0.01\nmaxDel=0.03\n");
    InConfigDialog([&](ConfigWin *d) {
        d->spinBoxCnt->setValue(3);
        Tick(d->checkBoxRandom);
        Tick(d->checkBoxAkkust);
        d->spinBoxMinAkkust->setValue(5000); // longer than any wait (0.1 to 1 s): no warning sounds
        d->spinBoxMaxAkkust->setValue(10000);
        d->lineEditWav->setText(warning);
        ClickOk(d);
    });
    // The chosen warning is decoded now, not when it is first due.
    const auto effects = window->findChild<SoundPlayer *>()->findChildren<QSoundEffect *>();
    QVERIFY(std::any_of(effects.begin(), effects.end(),
        [&](const QSoundEffect *effect) { return effect->source() == QUrl::fromLocalFile(warning); }));
    auto *action = TopLevel<ActionWin>();
    QSignalSpy results(action, &ActionWin::SignalResult);
    QSignalSpy played(window->findChild<SoundPlayer *>(), &SoundPlayer::PlayRequested);
    QTest::mouseClick(window->startButton, Qt::LeftButton);
    for (int i = 0; i < 3; ++i) {
        QVERIFY(QTest::qWaitFor([&] { return action->SignalVisible(); }, 5000));
        const QPoint centre = PlaceSignal(action->size(), 50, 50).disc.center();
        QCOMPARE(action->grab().toImage().pixelColor(centre), QColor(Qt::yellow));
        QVERIFY(PressWhenShown(action, 20));
    }
    QTRY_COMPARE(played.size(), 1); // the end sound: no fourth signal
    QCOMPARE(results.size(), 3);
    QTest::keyClick(action, Qt::Key_Escape);
    QCOMPARE(Stored(StoredNow()), "random=0 box=0 com=0 s=0.1-1 warn=1 ms=5000-10000 wav=" + warning);
}

void TestDialogs::aboutWindow_data()
{
    AddWaysToClose("Schließen");
}

void TestDialogs::aboutWindow()
{
    QFETCH(int, way);
    UrlRecorder browser;
    QDesktopServices::setUrlHandler("http", &browser, "open");
    window = OpenMainWindow({});
    QCOMPARE(window->label_4->text(),
        QString(
            "Eine Kurzanleitung gibt es unter <a href=\"http://www.flinkprobe.example/\"> www.flinkprobe.example</a>"));

    InDialog<AboutWin>(window->aboutButton, [&](AboutWin *about) {
        QCOMPARE(about->windowTitle(), QString("Dialog"));
        QCOMPARE(about->label_3->text(), QString("Tamber's Flinkprobe"));
        QVERIFY(about->label_3->font().bold());
        QCOMPARE(about->label_4->text(), QString("Version 1.1"));
        QVERIFY(about->label->text().startsWith("Programm zu Bestimmung der menschlichen Reaktionszeit\n"));
        QCOMPARE(about->label_2->text(),
            QString("Die aktuellste Version und eine Kurzanleitung<br>findet man unter "
                    "<a href=\"http://www.flinkprobe.example/?page_id=152\">www.flinkprobe.example/?page_id=152</a>"));

        // Each press asks again, and the window stays.
        for (int press = 1; press <= 2; ++press) {
            QTest::mouseClick(about->webButton, Qt::LeftButton);
            QCOMPARE(browser.opened, QList<QUrl>(press, QUrl("http://www.flinkprobe.example/?page=152")));
            QVERIFY(about->isVisible());
        }

        // The link reacts to a click but leads nowhere.
        QSignalSpy linkClicks(about->label_2, &QLabel::linkActivated);
        const int x = about->label_2->fontMetrics().horizontalAdvance("findet man unter ") + 20;
        for (int y = 1; y < about->label_2->height() && linkClicks.isEmpty(); y += 2)
            QTest::mouseClick(about->label_2, Qt::LeftButton, {}, QPoint(x, y));
        QCOMPARE(linkClicks.size(), 1);
        QCOMPARE(browser.opened.size(), 2);

        CloseBy(way, about, about->closeButton);
    });
    QDesktopServices::unsetUrlHandler("http");
}

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
