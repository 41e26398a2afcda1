#include "boxwin.h"

BoxWin::BoxWin(QWidget *parent)
    : QWidget(parent)
{
    setupUi(this);
}

void BoxWin::SetMessage(const QString &text)
{
    label->setText(text);
}

void BoxWin::on_readyButton_clicked()
{
    Q_EMIT SignalStop();
}
