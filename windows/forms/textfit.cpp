#include "textfit.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOption>

#include <cmath>
#include <optional>

namespace {

// QLineEdit keeps these between its frame and its text, and draws a cursor after it.
constexpr int LineEditMarginX = 2;
constexpr int LineEditMarginY = 1;
constexpr int CursorWidth = 1;

// What a widget's text needs and the room it has, and the length of the widget (or of the part
// of the form) that the room grows with when the form is stretched.
struct TextRoom
{
    QSize text;
    QSize room;
    QSize span;
};

// Fractional advances add up: a text is as wide as its last glyph's right edge, rounded up.
QSize TextSize(const QWidget *widget, const QString &text)
{
    const QSizeF size = QFontMetricsF(widget->font()).size(Qt::TextShowMnemonic, text);
    return {static_cast<int>(std::ceil(size.width())), static_cast<int>(std::ceil(size.height()))};
}

// The width a text's ink needs. Text is placed by its advance; the ink may start a little inside
// it and end a little beyond. Centred, the ink must stay within the room on both sides.
int InkWidth(const QWidget *widget, QString text, bool centred)
{
    text.replace(QLatin1String("&&"), QLatin1String("\x01")).remove(QLatin1Char('&'));
    text.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    const QFontMetricsF metrics(widget->font());
    const double advance = metrics.horizontalAdvance(text);
    const QRectF ink = metrics.boundingRect(text);
    const double needed = centred ? qMax(advance - 2 * ink.left(), 2 * ink.right() - advance) : ink.right();
    return static_cast<int>(std::ceil(needed));
}

TextRoom ButtonFit(const QAbstractButton *button)
{
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    QStyle::SubElement contents = QStyle::SE_PushButtonContents;
    if (qobject_cast<const QCheckBox *>(button)) {
        contents = QStyle::SE_CheckBoxContents;
    } else if (qobject_cast<const QRadioButton *>(button)) {
        contents = QStyle::SE_RadioButtonContents;
    } else if (const auto *push = qobject_cast<const QPushButton *>(button)) {
        if (push->autoDefault() || push->isDefault())
            option.features |= QStyleOptionButton::AutoDefaultButton;
        if (push->isFlat())
            option.features |= QStyleOptionButton::Flat;
    }
    const QRect room = button->style()->subElementRect(contents, &option, button);
    const QSize text(InkWidth(button, button->text(), contents == QStyle::SE_PushButtonContents),
        TextSize(button, button->text()).height());
    return {text, room.size(), button->size()};
}

// A title needs its width with a margin on either side, and must end above the first child.
TextRoom GroupBoxFit(const QGroupBox *box)
{
    QStyleOptionGroupBox option;
    option.initFrom(box);
    option.text = box->title();
    option.lineWidth = 1;
    option.textAlignment = box->alignment();
    option.subControls = QStyle::SC_GroupBoxFrame;
    if (!box->title().isEmpty())
        option.subControls |= QStyle::SC_GroupBoxLabel;
    if (box->isCheckable())
        option.subControls |= QStyle::SC_GroupBoxCheckBox;
    if (box->isFlat())
        option.features |= QStyleOptionFrame::Flat;
    const QStyle *style = box->style();
    QRect title = style->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, box);
    if (box->isCheckable())
        title |= style->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxCheckBox, box);
    int firstTop = box->height();
    for (const QWidget *child : box->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        if (!child->isWindow())
            firstTop = qMin(firstTop, child->y());
    return {QSize(title.right() + 1 + qMax(0, title.left()), title.bottom() + 1), QSize(box->width(), firstTop),
        QSize(box->width(), firstTop)};
}

// The widest text the spin box can show, from its lowest to its highest value.
QString WidestText(const QAbstractSpinBox *spin)
{
    QLocale locale = spin->locale();
    if (!spin->isGroupSeparatorShown())
        locale.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
    QStringList texts {spin->text()};
    if (const auto *box = qobject_cast<const QSpinBox *>(spin)) {
        for (const int value : {box->minimum(), box->maximum()})
            texts << box->prefix() + locale.toString(value) + box->suffix();
    } else if (const auto *doubleBox = qobject_cast<const QDoubleSpinBox *>(spin)) {
        for (const double value : {doubleBox->minimum(), doubleBox->maximum()})
            texts << doubleBox->prefix() + locale.toString(value, 'f', doubleBox->decimals()) + doubleBox->suffix();
    }
    QString widest;
    for (const QString &text : texts)
        if (TextSize(spin, text).width() > TextSize(spin, widest).width())
            widest = text;
    return widest;
}

TextRoom SpinBoxFit(const QAbstractSpinBox *spin)
{
    QStyleOptionSpinBox option;
    option.initFrom(spin);
    option.buttonSymbols = spin->buttonSymbols();
    option.frame = spin->hasFrame();
    option.subControls = QStyle::SC_SpinBoxFrame | QStyle::SC_SpinBoxEditField;
    if (spin->buttonSymbols() != QAbstractSpinBox::NoButtons)
        option.subControls |= QStyle::SC_SpinBoxUp | QStyle::SC_SpinBoxDown;
    const QRect field = spin->style()->subControlRect(QStyle::CC_SpinBox, &option, QStyle::SC_SpinBoxEditField, spin);
    const QSize text = TextSize(spin, WidestText(spin)) + QSize(2 * LineEditMarginX + CursorWidth, 2 * LineEditMarginY);
    return {text, field.size(), spin->size()};
}

// A typed text scrolls sideways; only its height must fit.
TextRoom LineEditFit(const QLineEdit *edit)
{
    QStyleOptionFrame option;
    option.initFrom(edit);
    option.lineWidth = edit->hasFrame() ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit) : 0;
    option.state |= QStyle::State_Sunken;
    const QRect contents = edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit);
    const QMargins margins = edit->textMargins();
    const QSize room(contents.width(), contents.height() - margins.top() - margins.bottom());
    return {QSize(0, TextSize(edit, QStringLiteral("Ág")).height() + 2 * LineEditMarginY), room, edit->size()};
}

std::optional<TextRoom> FitOf(const QWidget *widget)
{
    if (const auto *label = qobject_cast<const QLabel *>(widget)) {
        if (!label->wordWrap())
            return TextRoom {label->sizeHint(), label->size(), label->size()};
        // Words wrap: the longest must fit across, and the lines at the width the label has.
        return TextRoom {QSize(label->minimumSizeHint().width(), label->heightForWidth(label->width())), label->size(),
            label->size()};
    }
    if (const auto *button = qobject_cast<const QAbstractButton *>(widget))
        return ButtonFit(button);
    if (const auto *box = qobject_cast<const QGroupBox *>(widget))
        return GroupBoxFit(box);
    if (const auto *spin = qobject_cast<const QAbstractSpinBox *>(widget))
        return SpinBoxFit(spin);
    if (const auto *edit = qobject_cast<const QLineEdit *>(widget)) {
        if (qobject_cast<const QAbstractSpinBox *>(edit->parentWidget()))
            return std::nullopt; // the spin box's own, measured with it
        return LineEditFit(edit);
    }
    if (widget->layout())
        return TextRoom {widget->minimumSizeHint(), widget->size(), widget->size()};
    return std::nullopt;
}

// Holds a form's geometry as drawn and stretches it to its texts.
class TextFitter : public QObject
{
public:
    static constexpr char Name[] = "blinkdash-text-fitter";

    explicit TextFitter(QWidget *target)
        : QObject(target)
        , form(target)
    {
        setObjectName(Name);
        formSize = form->size();
        Remember(form);
        form->installEventFilter(this);
    }

    void Fit()
    {
        form->ensurePolished();
        for (const auto &[widget, geometry] : drawn)
            if (widget)
                widget->setGeometry(geometry);
        const double across = Factor(Qt::Horizontal);
        Stretch(across, 1.0);
        const double down = Factor(Qt::Vertical);
        Stretch(across, down);
        form->resize(Scaled(formSize.width(), across), Scaled(formSize.height(), down));
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // Children learn of a new font after the form; fit once they all have.
        if (watched == form && (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange))
            QMetaObject::invokeMethod(
                this, [this] { Fit(); }, Qt::QueuedConnection);
        return false;
    }

private:
    // Widgets placed at fixed positions, and the plain containers and group boxes among them.
    void Remember(QWidget *parent)
    {
        for (QWidget *child : parent->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
            if (child->isWindow() || (parent->layout() && parent->layout()->indexOf(child) >= 0))
                continue;
            drawn.append({child, child->geometry()});
            const QMetaObject *type = child->metaObject();
            if (!child->layout()
                && (qobject_cast<QGroupBox *>(child) || type == &QWidget::staticMetaObject
                    || type == &QFrame::staticMetaObject))
                Remember(child);
        }
    }

    static int Scaled(int length, double factor) { return static_cast<int>(std::lround(length * factor)); }

    double Factor(Qt::Orientation orientation) const
    {
        double factor = 1.0;
        for (const auto &[widget, geometry] : drawn) {
            const std::optional<TextRoom> fit = widget ? FitOf(widget) : std::nullopt;
            if (!fit)
                continue;
            const bool across = orientation == Qt::Horizontal;
            const int span = across ? fit->span.width() : fit->span.height();
            const int missing
                = across ? fit->text.width() - fit->room.width() : fit->text.height() - fit->room.height();
            if (span > 0 && missing > 0)
                factor = qMax(factor, double(span + missing) / span);
        }
        return factor;
    }

    // Edges are scaled, not sizes, so that neighbours stay apart and children inside.
    void Stretch(double across, double down)
    {
        for (const auto &[widget, r] : drawn) {
            if (!widget)
                continue;
            const int left = Scaled(r.left(), across), top = Scaled(r.top(), down);
            widget->setGeometry(
                left, top, Scaled(r.left() + r.width(), across) - left, Scaled(r.top() + r.height(), down) - top);
        }
    }

    QWidget *form;
    QSize formSize;
    QList<QPair<QPointer<QWidget>, QRect>> drawn;
};

} // namespace

QSize TextShortfall(const QWidget *widget)
{
    const std::optional<TextRoom> fit = FitOf(widget);
    if (!fit)
        return {0, 0};
    return {qMax(0, fit->text.width() - fit->room.width()), qMax(0, fit->text.height() - fit->room.height())};
}

void KeepTextsWhole(QWidget *form)
{
    auto *fitter = static_cast<TextFitter *>(
        form->findChild<QObject *>(QLatin1String(TextFitter::Name), Qt::FindDirectChildrenOnly));
    if (!fitter)
        fitter = new TextFitter(form);
    fitter->Fit();
}
