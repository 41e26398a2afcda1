#pragma once

#include <QSize>

class QWidget;

// How much wider and taller a widget would have to be to show its text whole, in pixels; 0 where
// it fits. Labels, buttons, check and radio boxes, group box titles, spin boxes, line edits (their
// height: a typed text may scroll) and widgets with a layout of their own.
QSize TextShortfall(const QWidget *widget);

// Keeps every text of a form laid out at fixed positions whole at the font and scale in use:
// positions and sizes are stretched by one factor across and one down, just enough, so that the
// form keeps its proportions; where the texts fit as drawn, nothing moves. The form's drawn
// geometry is remembered: the form fits itself again when its font or style changes, and when
// this is called again after a text changed.
void KeepTextsWhole(QWidget *form);
