#include "prompts.h"

#include <QFileDialog>
#include <QMessageBox>

namespace {

Prompt::Answerer answerer;

QString Answer(const QString &title, const QString &text)
{
    return answerer(title + QLatin1Char('|') + text);
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
    box.exec();
}

void Prompt::Information(QWidget *parent, const QString &title, const QString &text)
{
    if (answerer)
        Answer(title, text);
    else
        QMessageBox::information(parent, title, text, QMessageBox::Ok, QMessageBox::NoButton);
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
