#include "scorewin.h"

ScoreWin::ScoreWin(QWidget *parent)
    : QDialog(parent)
{
    setupUi(this);
}
