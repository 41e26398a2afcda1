#pragma once

// What the tests that drive the main window share: opening it on a settings file, finding its
// top-level windows, and answering its modal windows as a person would.

#include "folders.h"
#include "mainwindow.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QtTest>

// Writes blinkdash.ini ("[Common]" and ini) into the data folder and shows a new main window on
// it, which closing does not delete. Delete the previous one first: it writes its settings.
inline MainWindow *OpenMainWindow(const QByteArray &ini)
{
    QFile file(DataPath("blinkdash.ini", DataFolder));
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(file.fileName()));
    file.write("[Common]\n" + ini);
    file.close();
    auto *window = new MainWindow;
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    window->show();
    return window;
}

template<class Window> Window *TopLevel()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *window = qobject_cast<Window *>(w))
            return window;
    return nullptr;
}

// Answers modal windows from a timer: a message box with Yes or OK, recorded as "title|text"; the
// file dialog with nextFile (empty: Cancel), recorded as "title|folder".
class ModalAnswerer
{
public:
    ModalAnswerer()
    {
        timer.callOnTimeout([this] { Answer(); });
        timer.start(20);
    }

    QStringList seen;
    QStringList fileFilters; // of each file dialog, joined by ";;"
    QString nextFile;

private:
    void Answer()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            seen.append(box->windowTitle() + '|' + box->text());
            (box->button(QMessageBox::Yes) ? box->button(QMessageBox::Yes) : box->button(QMessageBox::Ok))->click();
        } else if (auto *dialog = qobject_cast<QFileDialog *>(modal);
                   dialog && !dialog->property("answered").toBool()) {
            dialog->setProperty("answered", true);
            seen.append(dialog->windowTitle() + '|' + dialog->directory().path());
            fileFilters.append(dialog->nameFilters().join(";;"));
            if (nextFile.isEmpty()) {
                dialog->reject();
                return;
            }
            // Enter from a timer of its own: the overwrite question runs its own loop, and this timer
            // cannot fire again inside its own callback.
            auto *name = dialog->findChild<QLineEdit *>("fileNameEdit");
            name->setText(nextFile);
            QTimer::singleShot(0, name, [name] { QTest::keyClick(name, Qt::Key_Return); });
        }
    }

    QTimer timer;
};

// Waits for the disc, thinks for thinkMs and presses SPACE; false when no disc came.
inline bool PressWhenShown(ActionWin *action, int thinkMs)
{
    if (!QTest::qWaitFor([&] { return action->SignalVisible(); }, 5000))
        return false;
    QTest::qWait(thinkMs);
    QTest::keyClick(action, Qt::Key_Space);
    return true;
}

// The lines of a debug log file.
inline QStringList LogLines(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()).split('\n', Qt::SkipEmptyParts)
                                          : QStringList();
}
