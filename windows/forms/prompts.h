#pragma once

#include <QString>

#include <functional>

class QWidget;

// The program's modal messages and file choosers all go through here, so that tests can answer
// them instead of a person: while an answerer is set, nothing is shown; it is handed
// "title|text" (for a file chooser "caption|start") and returns the file chosen, empty for Cancel.
namespace Prompt {

void Critical(QWidget *parent, const QString &title, const QString &text, const QString &details = {});
// extra (a chart, say) goes below the text; the message takes it over.
void Information(QWidget *parent, const QString &title, const QString &text, QWidget *extra = nullptr);
// Yes or No, No the default; an answerer says yes with a non-empty answer.
bool Question(QWidget *parent, const QString &title, const QString &text);
QString SaveFileName(QWidget *parent, const QString &caption, const QString &folder, const QString &filter = {});
QString OpenFileName(QWidget *parent, const QString &caption, const QString &start, const QString &filter);

using Answerer = std::function<QString(const QString &shown)>;
void SetAnswerer(Answerer answerer); // an empty one: ask the person again

} // namespace Prompt
