#include "mainwindow.h"

#include "aboutwin.h"
#include "configwin.h"
#include "debuglog.h"
#include "export.h"
#include "folders.h"
#include "histogramchart.h"
#include "portname.h"
#include "prompts.h"
#include "safefile.h"
#include "scorewin.h"
#include "spacekey.h"
#include "taskresult.h"
#include "textfit.h"
#include "website.h"

#include <QApplication>
#include <QChartView>
#include <QDir>
#include <QTimerEvent>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

const QString SettingsFile = QStringLiteral("blinkdash.ini");
const QString HighscoreFile = QStringLiteral("blinkdash.txt");
const QString EndSound = QStringLiteral("ding.wav"); // preloaded; the run engine plays it
const QString JournalFile = QStringLiteral("blinkdash.sqlite");

// Local time that writes its offset out, so that a stored date says when it was anywhere.
QDateTime NowWithOffset()
{
    const QDateTime now = QDateTime::currentDateTime();
    return now.toOffsetFromUtc(now.offsetFromUtc());
}

QByteArray ReadFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void SetUpTimer(QTimer &timer)
{
    timer.setSingleShot(true);
    // Coarse timers may fire 5 % off, which could put the warning after the signal.
    timer.setTimerType(Qt::PreciseTimer);
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QWidget(parent)
    , box(this) // a child, so that tests can find it
    , engine(*this)
    , sounds(this)
{
    setupUi(this);
    label_4->setText(label_4->text().arg(WebLink(WebUrl(), QLatin1Char(' ') + WebHost)));
    KeepTextsWhole(this);
    setAttribute(Qt::WA_DeleteOnClose, true);
    pollTimerId = startTimer(50);
    settings = ReadSettings(DataPath(SettingsFile, DataFolder));
    if (settings.journal) { // opened when first needed (at start only if runs wait beside it)
        journal = std::make_unique<Journal>(DataPath(JournalFile, DataFolder));
        LinkServer();
        TakePendingRuns();
    }

    SetUpTimer(waitTimer);
    SetUpTimer(warningTimer);
    // A run starts by a click, or by Enter on the start button or in the name field; never by a
    // SPACE meant for the run before.
    PressedByEnterOnly(startButton);
    connect(lineEdit, &QLineEdit::returnPressed, this, &MainWindow::on_startButton_clicked);
    connect(&waitTimer, &QTimer::timeout, this, &MainWindow::SlotNextEvent);
    connect(&warningTimer, &QTimer::timeout, this, &MainWindow::SlotPlayWav);
    connect(
        &actionWin, &ActionWin::SignalResult, this, [this](int ms, ReactionTiming by, qint64 us, const QString &key) {
            engine.Result({ms, by, {}, us}, key);
        });
    connect(&actionWin, &ActionWin::EarlyPress, this, [this] { engine.EarlyPress(); });
    connect(&actionWin, &ActionWin::SignalStop, this, &MainWindow::SlotStop);
    connect(&boxWin, &BoxWin::SignalStop, this, &MainWindow::SlotStop);
    connect(&box, &SwitchBox::SignalResult, this, [this](int ms) {
        engine.Result({ms, ReactionTiming::Box, box.GetValue(0), {}});
    });
    connect(&box, &SwitchBox::AnswerUnreadable, this, [this] {
        box.SetLED(false); // ends a measurement that noise alone seemed to answer: no answer comes late
        engine.AnswerLost();
    });
    connect(&box, &SwitchBox::Lost, this, [this] { engine.BoxLost(); });
    connect(&lightTiming, &LightTiming::LightSeen, this,
        [this](qint64 latencyUs, qint64 us) { engine.LightSeen(latencyUs, us); });
    connect(&lightTiming, &LightTiming::LightNotSeen, this, [this] { engine.LightNotSeen(); });
    // Queued: the box may be found missing while the run is still being started.
    connect(
        &lightTiming, &LightTiming::Failed, this,
        [this](const QString &why) {
            if (!engine.InRun())
                return;
            engine.Stop();
            Prompt::Critical(this, QStringLiteral("Fehler"), why);
        },
        Qt::QueuedConnection);
    connect(&screenCheck, &ScreenCheck::Finished, this, &MainWindow::ScreenChecked);
    connect(&screenCheck, &ScreenCheck::Failed, this, [this](const QString &why) {
        QWidget *over = QApplication::activeModalWidget();
        Prompt::Critical(over ? over : this, QStringLiteral("Bildschirm vermessen"), why);
    });
    // The box window is the main window's: a window manager puts it over it and keeps it there.
    boxWin.setParent(this, boxWin.windowFlags() | Qt::Window);
    OpenBox();
    PreloadSounds();
    highscores.Load(HighscoreFile);
}

// Closed by its button, its frame or a signal (logout): a run in progress ends as by ESC or
// "Fertig !", and everything is stored without a word.
MainWindow::~MainWindow()
{
    closing = true;
    killTimer(pollTimerId);
    if (engine.InRun())
        engine.Stop();
    if (journal && !unjournaled.isEmpty())
        KeepPendingRuns();
    StoreSettings(false);
    SaveHighscores(false);
}

void MainWindow::OpenBox()
{
    box.Close();
    boxFailure.clear();
    if (!(settings.useBox || settings.lightTimed) || box.Open(settings.boxCom) == 0)
        return;
    const SwitchBox::OpenFailure &failure = box.Failure();
    QString why = failure.device.isEmpty()
        ? QStringLiteral("Kein serielles Gerät gehört zu COM%1.").arg(settings.boxCom)
        : QStringLiteral("%1: %2").arg(failure.device, failure.reason);
#ifdef Q_OS_LINUX
    if (failure.denied)
        why += QStringLiteral("\nSerielle Schnittstellen gehören unter Linux der Gruppe „dialout“: "
                              "sudo adduser $USER dialout, danach neu anmelden.");
#endif
    boxFailure
        = QStringLiteral("Die Schnittstelle COM%1 konnte nicht geöffnet werden.!\n%2").arg(settings.boxCom).arg(why);
    if (isVisible())
        TellBoxFailure();
}

void MainWindow::TellBoxFailure()
{
    if (boxFailure.isEmpty())
        return;
    Prompt::Critical(this, QStringLiteral("Fehler beim Öffnen der Schaltbox"), std::exchange(boxFailure, QString()));
}

void MainWindow::PreloadSounds()
{
    // Decoding takes a moment; done now, the first warning of a run sounds on time.
    if (settings.enableWav)
        sounds.Preload(settings.wavFile);
    sounds.Preload(EndSound);
}

void MainWindow::StoreSettings(bool tell)
{
    const QString path = DataPath(SettingsFile, DataFolder);
    QString reason;
    if (!WriteSettings(path, settings, &reason))
        SaveFailed(path, reason, tell, QStringLiteral("Die Einstellungen konnten"),
            QStringLiteral(
                "Sie gelten, solange das Programm läuft. Es versucht beim Beenden erneut, sie zu speichern."));
}

void MainWindow::SaveHighscores(bool tell)
{
    QString reason;
    highscoresUnsaved = highscores.Save(HighscoreFile, &reason) == HighscoreList::Failed;
    if (highscoresUnsaved)
        SaveFailed(DataPath(HighscoreFile, DataFolder), reason, tell, QStringLiteral("Die HighScores konnten"),
            QStringLiteral("Die Ergebnisse bleiben erhalten, solange das Programm läuft. Es versucht nach jedem "
                           "neuen Ergebnis und beim Beenden erneut, sie zu speichern."));
}

void MainWindow::SaveFailed(
    const QString &path, const QString &reason, bool tell, const QString &what, const QString &consequence)
{
    DebugLog("%s nicht gespeichert: %s", QFile::encodeName(path).constData(), reason.toLocal8Bit().constData());
    if (!tell || closing) {
        qWarning("%s could not be written: %s", qPrintable(path), qPrintable(reason));
        return;
    }
    if (toldSaveFailures.contains(path))
        return;
    toldSaveFailures.append(path);
    Prompt::Critical(this, QStringLiteral("Fehler beim Speichern"),
        QStringLiteral("%1 nicht gespeichert werden.\n\nDatei: %2\nGrund: %3\n\n%4")
            .arg(what, QDir::toNativeSeparators(path), reason, consequence));
}

void MainWindow::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != pollTimerId) {
        QWidget::timerEvent(event);
        return;
    }
    box.Poll();
    // At start-up a box failure waits until the window is on the screen, where the window manager
    // placed it, so that the message sits over it.
    if (!boxFailure.isEmpty() && windowHandle() && windowHandle()->isExposed())
        TellBoxFailure();
    // A signal waits while the stimulus window cannot be seen (covered, not yet up); looked at here,
    // as no single window event tells that it is back.
    if (engine.CurrentPhase() == RunEngine::Phase::WindowAway && actionWin.CanBeSeen())
        engine.WindowBack();
}

void MainWindow::on_startButton_clicked()
{
    engine.Start(settings, TaskNamed(settings.task));
}

void MainWindow::on_closeButton_clicked()
{
    close();
}

void MainWindow::on_saveButton_clicked()
{
    const QString path = Prompt::SaveFileName(
        this, QStringLiteral("Wähle einen Dateinamen zum Abspeichern"), FolderPath(ExportFolder));
    QString reason;
    if (path.isEmpty() || ExportTimes(path, engine.Times(), &reason))
        return;
    Prompt::Critical(this, QStringLiteral("Fehler beim Speichern"),
        QStringLiteral("Die Datei konnte nicht gespeichert werden!"),
        QStringLiteral("%1\n%2").arg(QDir::toNativeSeparators(path), reason));
}

void MainWindow::on_configButton_clicked()
{
    ConfigWin configWin(this);
    configWin.ShowSettings(settings);
    configWin.ShowScreenLatency(settings.screenLatency);
    // OK waits while the box is checked: it would reopen the box under the check.
    connect(&configWin, &ConfigWin::ScreenCheckWanted, &screenCheck, [&configWin, this] {
        configWin.buttonBox->setEnabled(false);
        screenCheck.Start();
        configWin.buttonBox->setEnabled(!screenCheck.Running());
    });
    const auto enable = [&configWin] { configWin.buttonBox->setEnabled(true); };
    connect(&screenCheck, &ScreenCheck::Finished, &configWin, enable);
    connect(&screenCheck, &ScreenCheck::Cancelled, &configWin, enable);
    connect(&screenCheck, &ScreenCheck::Failed, &configWin, enable);
    connect(&screenCheck, &ScreenCheck::Finished, &configWin,
        [&configWin, this] { configWin.ShowScreenLatency(settings.screenLatency); });
    if (configWin.exec() != QDialog::Accepted)
        return;
    configWin.TakeSettings(settings);
    StoreSettings(true); // now, so that a logout or a lost display cannot take them
    LinkServer();
    OpenBox();
    PreloadSounds();
}

void MainWindow::on_scoreButton_clicked()
{
    ScoreWin scoreWin(this);
    scoreWin.ShowList(&highscores);
    connect(&scoreWin, &ScoreWin::ListChanged, this, [this] { SaveHighscores(true); });
    scoreWin.SetJournal(journal.get(), settings.historySize);
    if (server) { // the class's runs come from the journals of its computers
        scoreWin.SetClassServer(server->Address());
        connect(server.get(), &ServerLink::HighscoresRead, &scoreWin, &ScoreWin::ShowClassList);
        server->ReadHighscores();
    }
    connect(&scoreWin, &ScoreWin::HistoryResized, this, [this](QSize size) { settings.historySize = size; });
    scoreWin.exec();
}

void MainWindow::on_aboutButton_clicked()
{
    AboutWin aboutWin(this);
    aboutWin.exec();
}

void MainWindow::SlotNextEvent()
{
    engine.NextEvent();
}

void MainWindow::SlotStop()
{
    engine.Stop();
}

void MainWindow::SlotPlayWav()
{
    engine.WarningDue();
}

void MainWindow::ArmWait(int ms)
{
    waitTimer.start(ms);
}

void MainWindow::ArmWarning(int ms)
{
    warningTimer.start(ms);
}

void MainWindow::DisarmTimers()
{
    waitTimer.stop();
    warningTimer.stop();
}

QDateTime MainWindow::Now()
{
    return NowWithOffset();
}

void MainWindow::BeginRun(bool boxRun)
{
    const bool taskShown = !resultLabel->toolTip().isEmpty();
    resultLabel->setText(QStringLiteral(" --- "));
    resultLabel->setToolTip(QString());
    if (taskShown) // the form back to the room its texts need
        KeepTextsWhole(this);
    if (boxRun) {
        box.SetLED(false);
        boxWin.SetMessage(BoxText::Running);
        boxWin.move(frameGeometry().center() - boxWin.rect().center());
        boxWin.setVisible(true);
        return;
    }
    actionWin.Present(QString()); // active, so that early presses and ESC reach it before the first signal
    actionWin.SetTask(TaskNamed(settings.task)); // the engine's, taken from the same settings just now
    QApplication::setOverrideCursor(Qt::BlankCursor);
}

void MainWindow::BeginLightTiming(bool button)
{
    actionWin.SetLightTimed(true, button);
    lightTiming.Begin();
}

bool MainWindow::SignalCanBeSeen()
{
    if (actionWin.CanBeSeen())
        return true;
    actionWin.Reclaim(); // the poll timer tells the engine when it is there again
    return false;
}

void MainWindow::ArmLight(bool button)
{
    lightTiming.Arm(button);
}

void MainWindow::ShowSignal(int x, int y)
{
    actionWin.ShowSignal(x, y);
}

void MainWindow::ShowStimulus(int x, int y, const QString &stimulus)
{
    actionWin.ShowStimulus(x, y, stimulus);
}

void MainWindow::HideSignal()
{
    actionWin.HideSignal();
}

void MainWindow::StartMeasurement()
{
    box.StartReaction();
}

void MainWindow::CancelMeasurement()
{
    box.SetLED(false); // cancels a light measurement too
    lightTiming.Cancel();
}

void MainWindow::ShowBoxTrouble(BoxTrouble trouble)
{
    switch (trouble) {
    case BoxTrouble::None:
        boxWin.SetMessage(BoxText::Running);
        break;
    case BoxTrouble::Silent:
        boxWin.SetMessage(BoxText::NoAnswer);
        break;
    case BoxTrouble::Lost:
        boxWin.SetMessage(BoxText::Lost);
        break;
    }
}

void MainWindow::ShowEndNotice(bool boxRun)
{
    if (boxRun)
        boxWin.SetMessage(BoxText::GameOver);
    else
        actionWin.SetMessage(QStringLiteral("Game Over! Drücke ESC."));
}

void MainWindow::PlaySound(const QString &file)
{
    sounds.Play(file);
}

bool MainWindow::BoxWindowShown()
{
    return boxWin.isVisible();
}

void MainWindow::EndRun(bool boxRun)
{
    startButton->setFocus(); // where SPACE still pressed for this run does nothing
    lightTiming.End();
    actionWin.Withdraw();
    boxWin.setVisible(false);
    if (!boxRun)
        QApplication::restoreOverrideCursor();
}

QString MainWindow::RunName()
{
    return lineEdit->text(); // kept as typed, blanks included
}

QString MainWindow::RunPlace(std::optional<int> boxCom)
{
    return boxCom ? QStringLiteral("COM%1 %2").arg(*boxCom).arg(BoxPortName(*boxCom))
                  : QStringLiteral("%1x%2").arg(actionWin.width()).arg(actionWin.height());
}

void MainWindow::RunEvaluated(const RunRecord &record)
{
    if (record.task.kind != TaskKind::Simple) { // measures of its own, and no high score
        const TaskResult shown = DescribeTaskRun(record);
        resultLabel->setText(shown.headline);
        resultLabel->setToolTip(shown.measures.join(QLatin1Char('\n')));
        KeepTextsWhole(this);
        DebugLog("Ergebnis %s: %s", TaskName(record.task).toUtf8().constData(),
            shown.measures.join(QStringLiteral("; ")).toUtf8().constData());
        KeepInJournal(record);
        return;
    }
    if (const std::optional<int> result = record.evaluation.result) {
        resultLabel->setText(QStringLiteral("%1").arg(*result));
        resultLabel->setToolTip(QString());
        if (record.latencyCorrected) { // said where the result stands
            resultLabel->setText(resultLabel->text() + QStringLiteral(" (korr.)"));
            resultLabel->setToolTip(QStringLiteral("Um die Bildschirmlatenz von %1 ms korrigiert")
                                        .arg(QLocale(QLocale::German).toString(*record.displayLatencyMs, 'f', 1)));
            KeepTextsWhole(this);
        }
        if (!record.name.simplified().isEmpty()) {
            highscores.Insert(record.name, *result);
            SaveHighscores(true); // now, so that no later crash can lose the result
        }
    }
    KeepInJournal(record);
}

void MainWindow::TellTooManyEarlyPresses()
{
    actionWin.TellTooManyEarlyPresses();
}

void MainWindow::TellLightNotSeen()
{
    Prompt::Critical(this, QStringLiteral("Fehler"), NoLightText);
}

void MainWindow::ScreenChecked(const LatencyFigures &figures)
{
    const QString size = QStringLiteral("%1x%2").arg(actionWin.width()).arg(actionWin.height());
    settings.screenLatency = ScreenLatency {std::round(figures.medianMs * 10) / 10, std::round(figures.sdMs * 10) / 10,
        NowWithOffset().toString(Qt::ISODate), size};
    StoreSettings(true);
    const QLocale german(QLocale::German);
    const auto ms = [&german](double value) { return german.toString(value, 'f', 1) + QStringLiteral(" ms"); };
    QList<int> tenths;
    for (const double us : screenCheck.LatenciesUs())
        tenths << static_cast<int>(std::lround(us / 100));
    auto *chart = new QChartView(HistogramChart(tenths, QString(), QStringLiteral("ms"), 10));
    chart->setMinimumSize(600, 260); // room for a label of a tenth of a millisecond under each bar
    const int heldUp = screenCheck.HeldUp();
    QWidget *over = QApplication::activeModalWidget();
    Prompt::Information(over ? over : this, QStringLiteral("Bildschirm vermessen"),
        QStringLiteral("Bildschirmlatenz: %1 (Median)\nmittlere Hälfte: %2 bis %3\nMittelwert: %4, "
                       "Standardabweichung: %5\nkleinste: %6, größte: %7\n(%8 Messungen bei %9%10)")
            .arg(ms(figures.medianMs), ms(figures.lowerQuartileMs), ms(figures.upperQuartileMs), ms(figures.meanMs),
                ms(figures.sdMs), ms(figures.minMs), ms(figures.maxMs))
            .arg(figures.count)
            .arg(size,
                heldUp == 0
                    ? QString()
                    : QStringLiteral("; %1 weitere ausgelassen, weil der Befehl an die Schaltbox aufgehalten war")
                          .arg(heldUp)),
        chart);
}

void MainWindow::KeepInJournal(const RunRecord &record)
{
    if (!journal)
        return;
    unjournaled.append(record);
    QString reason;
    const bool stored = StoreUnjournaled(&reason);
    TellSetAside();
    if (stored && server)
        server->Poke();
    if (!stored)
        SaveFailed(journal->Path(), reason, true, QStringLiteral("Der Durchgang konnte im Verlauf"),
            (highscoresUnsaved ? QStringLiteral("Das Ergebnis ist davon nicht betroffen.")
                               : QStringLiteral("Ergebnis und HighScores sind davon nicht betroffen."))
                + QStringLiteral(" Der Durchgang bleibt erhalten und wird mit dem nächsten gespeichert, beim "
                                 "Beenden oder beim nächsten Start."));
}

bool MainWindow::StoreUnjournaled(QString *reason)
{
    // Once: a pending run may have reached the journal before the program that kept it ended.
    while (!unjournaled.isEmpty() && journal->StoreOnce(unjournaled.first(), reason))
        unjournaled.removeFirst();
    if (!unjournaled.isEmpty())
        return false;
    const QString pending = PendingRunsPath(journal->Path());
    // Another program's runs may have joined them meanwhile: those wait for the next start.
    if (!pendingTaken.isEmpty() && ReadFile(pending) == pendingTaken)
        QFile::remove(pending);
    pendingTaken.clear();
    return true;
}

void MainWindow::LinkServer()
{
    const ServerAddress address = ServerAddressOf(settings);
    if (!journal || (server && server->Address() == address)) // runs go from the journal
        return;
    server.reset();
    serverLabel->clear();
    journal->SendToServer(!address.host.isEmpty());
    if (address.host.isEmpty())
        return;
    server = std::make_unique<ServerLink>(journal->Path(), address);
    connect(server.get(), &ServerLink::Changed, this, [this] {
        // A server's reason can be long: the line shows what fits, its tooltip all of it.
        const QString state = ServerStateText(server->Waiting(), server->Problem());
        serverLabel->setText(serverLabel->fontMetrics().elidedText(state, Qt::ElideRight, serverLabel->width()));
        serverLabel->setToolTip(state);
    });
}

// The person closing the program hears of runs the server has not yet; a logout closes quietly.
void MainWindow::closeEvent(QCloseEvent *event)
{
    if (server && server->Waiting() > 0)
        Prompt::Information(this, QStringLiteral("Klassenserver"),
            ServerStateText(server->Waiting(), {})
                + (server->Waiting() == 1 ? QStringLiteral(". Er wird beim nächsten Start gesendet.")
                                          : QStringLiteral(". Sie werden beim nächsten Start gesendet.")));
    QWidget::closeEvent(event);
}

void MainWindow::TellSetAside()
{
    const QString aside = journal->TakeSetAside();
    if (aside.isEmpty())
        return;
    DebugLog("Verlauf beschaedigt, beiseitegelegt als %s", QFile::encodeName(aside).constData());
    if (!closing)
        Prompt::Critical(this, QStringLiteral("Verlauf"), SetAsideNotice(journal->Path(), aside));
}

// Runs an earlier session could not store: stored now, or kept with the next.
void MainWindow::TakePendingRuns()
{
    const QString pending = PendingRunsPath(journal->Path());
    if (!QFileInfo::exists(pending))
        return;
    const QByteArray content = ReadFile(pending);
    unjournaled = ReadPendingRuns(content);
    if (!unjournaled.isEmpty()) // a file that holds no runs is left as it is
        pendingTaken = content;
    if (StoreUnjournaled() && server) // the sender may have looked before they were stored
        server->Poke();
}

// At close: one more try (a writer that held the journal may be done), then what the journal
// still cannot take waits beside it, with any another program left there.
void MainWindow::KeepPendingRuns()
{
    if (StoreUnjournaled())
        return;
    const QString path = PendingRunsPath(journal->Path());
    QList<RunRecord> runs = ReadPendingRuns(ReadFile(path));
    for (const RunRecord &run : std::as_const(unjournaled))
        if (std::none_of(runs.cbegin(), runs.cend(), [&run](const RunRecord &r) { return SameRun(r, run); }))
            runs.append(run);
    QString reason;
    if (!WriteFileWhole(path, PendingRunsContent(runs), &reason))
        SaveFailed(path, reason, false, QString(), QString());
}
