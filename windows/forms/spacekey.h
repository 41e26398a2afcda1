#pragma once

class QAbstractButton;

// A button that SPACE does not press but Enter and Return do: a person may still be pressing
// SPACE for a run that has just ended, and would press the button without seeing it.
void PressedByEnterOnly(QAbstractButton *button);
