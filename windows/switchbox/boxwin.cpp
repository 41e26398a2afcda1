#include "boxwin.h"

#include "textfit.h"

BoxWin::BoxWin(QWidget *parent)
    : QWidget(parent)
{
    setupUi(this);
    KeepTextsWhole(this);
}

void BoxWin::SetMessage(const QString &text)
{
    label->setText(text);
    KeepTextsWhole(this);
}

void BoxWin::on_readyButton_clicked()
{
    Q_EMIT SignalStop();
}
