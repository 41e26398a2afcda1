#pragma once

#include "ui_boxwin.h"

#include <QWidget>

// The window shown while the switch box runs a test: it tells the person to watch the box's LED and
// carries the button that ends the run. It does not talk to the box.
class BoxWin : public QWidget, public Ui_BoxWin
{
    Q_OBJECT

public:
    explicit BoxWin(QWidget *parent = nullptr);

    void SetMessage(const QString &text);

Q_SIGNALS:
    void SignalStop();

private Q_SLOTS:
    void on_readyButton_clicked();
};
