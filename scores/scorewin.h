#pragma once

#include "ui_scorewin.h"

#include <QDialog>

// The modal window that shows the high-score list; it reads the list and changes nothing.
class ScoreWin : public QDialog, public Ui_ScoreWin
{
    Q_OBJECT

public:
    explicit ScoreWin(QWidget *parent = nullptr);

    // Shows list: the name takes the width the time leaves.
    void ShowList(QAbstractItemModel *list);
};
