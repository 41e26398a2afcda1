#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

// Answers every modal message box that opens while it lives with OK, and remembers the last
// one's title and text, so that tests never block on a box.
class MessageBoxCatcher : public QObject
{
public:
    MessageBoxCatcher()
    {
        connect(&poll, &QTimer::timeout, this, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box || !box->isVisible())
                return;
            ++count;
            title = box->windowTitle();
            text = box->text();
            box->button(QMessageBox::Ok)->click();
        });
        poll.start(10);
    }

    int count = 0;
    QString title;
    QString text;

private:
    QTimer poll;
};
