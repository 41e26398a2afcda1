#pragma once

#include "settings.h"
#include "ui_configwin.h"

#include <QDialog>

// The modal dialog in which the person changes every setting at once.
class ConfigWin : public QDialog, public Ui_ConfigDialog
{
    Q_OBJECT

public:
    explicit ConfigWin(QWidget *parent = nullptr);

    // Fills the widgets; a value outside a spin box's range shows as the nearest one inside it.
    void ShowSettings(const Settings &settings);
    // Every widget's value into settings, as shown.
    void TakeSettings(Settings &settings) const;

    // The last screen check's figure beside its button.
    void ShowScreenLatency(const std::optional<ScreenLatency> &latency);

Q_SIGNALS:
    // "Bildschirm vermessen ...", offered while the switch box is chosen.
    void ScreenCheckWanted();

public Q_SLOTS:
    void on_selectWavButton_clicked();

private:
    void OfferTasks();
    QString TaskOf(int index) const; // its stored name
};
