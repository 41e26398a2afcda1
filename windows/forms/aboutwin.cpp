#include "aboutwin.h"

#include "textfit.h"
#include "website.h"

#include <QDesktopServices>

AboutWin::AboutWin(QWidget *parent)
    : QDialog(parent)
{
    setupUi(this);
    const QUrl guide = WebUrl(QStringLiteral("page_id=152"));
    label_2->setText(label_2->text().arg(WebLink(guide, guide.toString(QUrl::RemoveScheme).mid(2))));
    KeepTextsWhole(this);
}

QUrl AboutWin::WebPage()
{
    return WebUrl(QStringLiteral("page=152"));
}

void AboutWin::on_webButton_clicked()
{
    // Like any link on the desktop: no word from us when no browser takes it.
    QDesktopServices::openUrl(WebPage());
}

void AboutWin::on_closeButton_clicked()
{
    accept();
}
