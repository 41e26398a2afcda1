#pragma once

#include "ui_boxwin.h"

#include <QStringList>
#include <QWidget>

// What the box window says during a run and after it.
namespace BoxText {
inline const QString Running = QStringLiteral("Test läuft!!! Bitte auf die LED der Schaltbox achten!");
inline const QString GameOver = QStringLiteral("Game Over!! Bitte auf FERTIG drücken");
inline const QString NoAnswer
    = QStringLiteral("Die Schaltbox antwortet nicht. Bitte Verbindung prüfen; „Fertig !“ beendet den Test.");
inline const QString Lost = QStringLiteral("Die Verbindung zur Schaltbox ist verloren. „Fertig !“ beendet den Test.");
inline const QStringList All {Running, GameOver, NoAnswer, Lost};
} // namespace BoxText

// The window shown while the switch box runs a test: it tells the person to watch the box's LED and
// carries the button that ends the run. It does not talk to the box.
class BoxWin : public QWidget, public Ui_BoxWin
{
    Q_OBJECT

public:
    explicit BoxWin(QWidget *parent = nullptr);

    void SetMessage(const QString &text);

Q_SIGNALS:
    void SignalStop();

private Q_SLOTS:
    void on_readyButton_clicked();
};
