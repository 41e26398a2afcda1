#include "spacekey.h"

#include <QAbstractButton>
#include <QKeyEvent>

namespace {

class EnterOnly : public QObject
{
public:
    using QObject::QObject;

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
            return false;
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Space)
            return true;
        if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)
            return false;
        if (event->type() == QEvent::KeyPress && !key->isAutoRepeat())
            static_cast<QAbstractButton *>(watched)->click();
        return true;
    }
};

} // namespace

void PressedByEnterOnly(QAbstractButton *button)
{
    button->installEventFilter(new EnterOnly(button));
}
