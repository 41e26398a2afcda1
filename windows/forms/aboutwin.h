#pragma once

#include "ui_aboutwin.h"

#include <QDialog>

// The modal window that names the program and its version and leads to its web page.
class AboutWin : public QDialog, public Ui_AboutWin
{
    Q_OBJECT

public:
    explicit AboutWin(QWidget *parent = nullptr);

    // The page the web button opens; the label's link points to its sibling and only shows.
    static QUrl WebPage();

public Q_SLOTS:
    void on_webButton_clicked();
    void on_closeButton_clicked();
};
