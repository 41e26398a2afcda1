#include "prompts.h"

#include "spacekey.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QMessageBox>

namespace {

Prompt::Answerer answerer;

QString Answer(const QString &title, const QString &text)
{
    return answerer(title + QLatin1Char('|') + text);
}

// A message must be read: SPACE, which a person may still be pressing for a run, does not close it.
void Show(QMessageBox &box)
{
    for (QAbstractButton *button : box.buttons())
        PressedByEnterOnly(button);
    box.exec();
}

} // namespace

void Prompt::Critical(QWidget *parent, const QString &title, const QString &text, const QString &details)
{
    if (answerer) {
        Answer(title, text);
        return;
    }
    QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok, parent);
    box.setInformativeText(details);
    Show(box);
}

void Prompt::Information(QWidget *parent, const QString &title, const QString &text, QWidget *extra)
{
    if (answerer) {
        delete extra;
        Answer(title, text);
        return;
    }
    QMessageBox box(QMessageBox::Information, title, text, QMessageBox::Ok, parent);
    auto *grid = qobject_cast<QGridLayout *>(box.layout());
    auto *buttons = box.findChild<QDialogButtonBox *>();
    if (grid && buttons && extra) { // between the text and the buttons
        int row = 0, column = 0, rows = 0, columns = 0;
        grid->getItemPosition(grid->indexOf(buttons), &row, &column, &rows, &columns);
        grid->removeWidget(buttons);
        grid->addWidget(extra, row, 0, 1, grid->columnCount());
        grid->addWidget(buttons, row + 1, column, rows, columns);
    } else {
        delete extra;
    }
    Show(box);
}

bool Prompt::Question(QWidget *parent, const QString &title, const QString &text)
{
    if (answerer)
        return !Answer(title, text).isEmpty();
    return QMessageBox::question(parent, title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        == QMessageBox::Yes;
}

QString Prompt::SaveFileName(QWidget *parent, const QString &caption, const QString &folder, const QString &filter)
{
    return answerer ? Answer(caption, folder) : QFileDialog::getSaveFileName(parent, caption, folder, filter);
}

QString Prompt::OpenFileName(QWidget *parent, const QString &caption, const QString &start, const QString &filter)
{
    return answerer ? Answer(caption, start) : QFileDialog::getOpenFileName(parent, caption, start, filter);
}

void Prompt::SetAnswerer(Answerer newAnswerer)
{
    answerer = std::move(newAnswerer);
}
