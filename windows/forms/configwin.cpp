#include "configwin.h"

#include "folders.h"
#include "prompts.h"
#include "soundfiles.h"
#include "task.h"
#include "textfit.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QStandardItemModel>

#include <cmath>

namespace {

// A hand-edited "nan" would otherwise land on whichever bound the comparison happens to pick.
double Seconds(double value)
{
    return std::isnan(value) ? 0.0 : value;
}

} // namespace

ConfigWin::ConfigWin(QWidget *parent)
    : QDialog(parent)
{
    setupUi(this);
    KeepTextsWhole(this);
    screenCheckButton->setEnabled(false);
    connect(radioButtonBox, &QRadioButton::toggled, screenCheckButton, &QPushButton::setEnabled);
    connect(screenCheckButton, &QPushButton::clicked, this, &ConfigWin::ScreenCheckWanted);
    // The light sensor times screen runs (a box run times its own LED): offered with "Bildschirm"
    // only, and its answer choice with it.
    const auto offerLightTiming = [this] {
        checkBoxLightTimed->setEnabled(radioButtonScreen->isChecked());
        checkBoxLightButton->setEnabled(radioButtonScreen->isChecked() && checkBoxLightTimed->isChecked());
    };
    connect(radioButtonScreen, &QRadioButton::toggled, this, offerLightTiming);
    connect(checkBoxLightTimed, &QCheckBox::toggled, this, offerLightTiming);
    offerLightTiming();
    for (const QString &name : OfferedTasks())
        comboBoxTask->addItem(TaskTitle(TaskNamed(name)), name);
    connect(radioButtonBox, &QRadioButton::toggled, this, &ConfigWin::OfferTasks);
}

void ConfigWin::OfferTasks()
{
    // Places and colours need the screen: with the box, only the tasks its LED and button can give.
    const auto *model = qobject_cast<QStandardItemModel *>(comboBoxTask->model());
    for (int i = 0; i < comboBoxTask->count(); ++i)
        model->item(i)->setEnabled(!radioButtonBox->isChecked() || !NeedsScreen(TaskNamed(TaskOf(i))));
    if (!model->item(comboBoxTask->currentIndex())->isEnabled())
        comboBoxTask->setCurrentIndex(0); // what the dialog shows is what runs
}

QString ConfigWin::TaskOf(int index) const
{
    return comboBoxTask->itemData(index).toString();
}

void ConfigWin::ShowScreenLatency(const std::optional<ScreenLatency> &latency)
{
    const QLocale german(QLocale::German);
    QString tip = screenCheckButton->toolTip().section(QLatin1Char('\n'), 0, 0);
    if (latency)
        tip += QStringLiteral("\nZuletzt gemessen: %1 ms (SD %2 ms) am %3 bei %4")
                   .arg(german.toString(latency->ms, 'f', 1), german.toString(latency->sdMs, 'f', 1),
                       german.toString(QDateTime::fromString(latency->date, Qt::ISODate).date(), QLocale::ShortFormat),
                       latency->size);
    screenCheckButton->setToolTip(tip);
    checkBoxCorrection->setEnabled(latency.has_value()); // nothing to take off before a check
}

void ConfigWin::ShowSettings(const Settings &s)
{
    checkBoxRandom->setChecked(s.randomPosition);
    (s.useBox ? radioButtonBox : radioButtonScreen)->setChecked(true);
    spinBoxCom->setValue(s.boxCom);
    spinBoxMax->setValue(Seconds(s.maxDel));
    spinBoxMin->setValue(Seconds(s.minDel));
    spinBoxCnt->setValue(s.cnt);
    spinBoxMaxAkkust->setValue(s.maxAkkust);
    spinBoxMinAkkust->setValue(s.minAkkust);
    lineEditWav->setText(s.wavFile);
    checkBoxAkkust->setChecked(s.enableWav);
    checkBoxCorrection->setChecked(s.screenLatencyCorrection);
    checkBoxLightTimed->setChecked(s.lightTimed);
    checkBoxLightButton->setChecked(s.lightButton);
    // A task set by hand that the list does not hold (another go share) is offered beside the others.
    const QString task = TaskName(TaskNamed(s.task));
    if (comboBoxTask->findData(task) < 0)
        comboBoxTask->addItem(TaskTitle(TaskNamed(task)), task);
    comboBoxTask->setCurrentIndex(comboBoxTask->findData(task));
    OfferTasks();
    lineEditServerHost->setText(s.serverHost);
    spinBoxServerPort->setValue(s.serverPort);
    lineEditServerDatabase->setText(s.serverDatabase);
    lineEditServerUser->setText(s.serverUser);
    lineEditServerGroup->setText(s.serverGroup);
}

void ConfigWin::TakeSettings(Settings &s) const
{
    s.randomPosition = checkBoxRandom->isChecked();
    s.useBox = radioButtonBox->isChecked();
    s.boxCom = spinBoxCom->value();
    s.cnt = spinBoxCnt->value();
    s.minDel = spinBoxMin->value();
    s.maxDel = spinBoxMax->value();
    s.minAkkust = spinBoxMinAkkust->value();
    s.maxAkkust = spinBoxMaxAkkust->value();
    s.wavFile = lineEditWav->text();
    s.enableWav = checkBoxAkkust->isChecked();
    s.screenLatencyCorrection = checkBoxCorrection->isChecked();
    s.lightTimed = checkBoxLightTimed->isChecked();
    s.lightButton = checkBoxLightButton->isChecked();
    s.task = TaskOf(comboBoxTask->currentIndex());
    s.serverHost = lineEditServerHost->text().trimmed();
    s.serverPort = spinBoxServerPort->value();
    s.serverDatabase = lineEditServerDatabase->text().trimmed();
    s.serverUser = lineEditServerUser->text().trimmed();
    s.serverGroup = lineEditServerGroup->text().trimmed();
}

void ConfigWin::on_selectWavButton_clicked()
{
    // Start where the current sound really is, so that a bare "ding.wav" opens its own folder; a
    // sound not found is looked for among the user's files.
    const QString current = lineEditWav->text();
    QString start = ResolveSoundFile(current, SoundSearchFolders());
    if (start.isEmpty())
        start = QDir(UserFilesFolder()).filePath(QFileInfo(current).fileName());
    const QString name
        = Prompt::OpenFileName(this, tr("Wählen Sie die Datei mit dem Signalton"), start, tr("WAV files (*.wav)"));
    if (!name.isEmpty())
        lineEditWav->setText(name);
}
