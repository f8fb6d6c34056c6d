#include "ValueSlider.hpp"

#include "Theme.hpp"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace lumivert {

namespace {

constexpr double trackHeight = 18;
constexpr double headerGap = 6;
// Room around the track for the knob while it is enlarged.
constexpr double knobGrowth = 1.12;
constexpr double edgeMargin = 2;
// A press this far above or below the track still grabs the knob.
constexpr double grabSlack = 6;
constexpr int knobResponseMs = 150;
constexpr int resetResponseMs = 250;
constexpr int pageSteps = 4;
// Shift with an arrow: a tenth of a step, for fine settings.
constexpr double fineStepFraction = 0.1;
// The value text shows hundredths of the value; typed numbers are read the same way.
constexpr double textUnitsPerValue = 100;
constexpr int typingFieldWidth = 72;

QFont titleFont() { return Theme::font(Theme::TextStyle::callout); }

// Monospaced so that the digits do not jitter while the value changes.
QFont valueFont()
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(titleFont().pointSizeF());
    return font;
}

// One element for assistive technology: the title as name, the help as description, the value
// text as value; increase and decrease move by one step.
class SliderAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit SliderAccessible(ValueSlider* slider) : QAccessibleWidget(slider, QAccessible::Slider)
    {
    }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text text) const override
    {
        switch (text) {
        case QAccessible::Name: return slider()->title();
        // Without help of its own a slider still says how it is worked.
        case QAccessible::Description:
            return slider()->help().isEmpty()
                       ? QStringLiteral("Arrow keys change the value, Enter types one, a double "
                                        "click restores the default")
                       : slider()->help();
        case QAccessible::Value: return slider()->valueText();
        default: return QAccessibleWidget::text(text);
        }
    }

    QVariant currentValue() const override { return slider()->value(); }
    void setCurrentValue(const QVariant& value) override { slider()->edit(value.toDouble()); }
    QVariant maximumValue() const override { return slider()->upperBound(); }
    QVariant minimumValue() const override { return slider()->lowerBound(); }
    QVariant minimumStepSize() const override { return slider()->step(); }

    QStringList actionNames() const override
    {
        return QAccessibleWidget::actionNames() << increaseAction() << decreaseAction();
    }

    void doAction(const QString& name) override
    {
        if (name == increaseAction())
            slider()->edit(slider()->value() + slider()->step());
        else if (name == decreaseAction())
            slider()->edit(slider()->value() - slider()->step());
        else
            QAccessibleWidget::doAction(name);
    }

private:
    ValueSlider* slider() const { return static_cast<ValueSlider*>(widget()); }
};

QAccessibleInterface* accessibleFactory(const QString&, QObject* object)
{
    if (auto* slider = qobject_cast<ValueSlider*>(object))
        return new SliderAccessible(slider);
    return nullptr;
}

void installAccessibleFactory()
{
    static const bool installed = [] {
        QAccessible::installFactory(accessibleFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

}  // namespace

ValueSlider::ValueSlider(const QString& title, double lower, double upper, double defaultValue,
                         QWidget* parent)
    : QWidget(parent), title_(title), lower_(lower), upper_(upper), defaultValue_(defaultValue),
      value_(defaultValue), shownValue_(defaultValue)
{
    installAccessibleFactory();
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAccessibleName(title);

    valueAnimation_.setDuration(resetResponseMs);
    valueAnimation_.setEasingCurve(QEasingCurve::OutCubic);
    connect(&valueAnimation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        shownValue_ = v.toDouble();
        update();
    });
    knobAnimation_.setDuration(knobResponseMs);
    knobAnimation_.setEasingCurve(QEasingCurve::OutCubic);
    connect(&knobAnimation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        knobScale_ = v.toDouble();
        update();
    });
}

void ValueSlider::setGradient(std::vector<QColor> colours)
{
    gradient_ = std::move(colours);
    update();
}

void ValueSlider::setHelp(const QString& help)
{
    help_ = help;
    setToolTip(help);
    setAccessibleDescription(help);
}

void ValueSlider::setFormat(Format format)
{
    format_ = std::move(format);
    update();
}

void ValueSlider::setValue(double value)
{
    if (std::isnan(value) || value == value_)
        return;
    value_ = value;
    showValue(value, false);
    announceValue();
}

QString ValueSlider::valueText() const { return textFor(value_); }

QString ValueSlider::textFor(double value) const
{
    return format_ ? format_(value) : percentText(value);
}

QString ValueSlider::percentText(double value)
{
    return QString::number(std::lround(value * 100)) + QLatin1Char('%');
}

QRectF ValueSlider::trackRect() const
{
    const double top = edgeMargin + headerHeight() + headerGap;
    return {edgeMargin, top, std::max(0.0, width() - 2 * edgeMargin), trackHeight};
}

double ValueSlider::valueAt(double x) const
{
    const QRectF track = trackRect();
    const double travel = track.width() - knobDiameter;
    if (travel <= 0)
        return lower_;
    const double f = std::clamp((x - track.left() - knobDiameter / 2) / travel, 0.0, 1.0);
    return lower_ + (upper_ - lower_) * f;
}

double ValueSlider::knobCentreX(double value) const
{
    const QRectF track = trackRect();
    return track.left() + knobDiameter / 2 + fraction(value) * (track.width() - knobDiameter);
}

void ValueSlider::edit(double value)
{
    if (std::isnan(value))
        return;
    value_ = clamped(value);
    lastEditWasKey_ = false;
    showValue(value_, false);
    announceValue();
    Q_EMIT valueEdited(value_);
}

QSize ValueSlider::sizeHint() const
{
    return {240, static_cast<int>(std::ceil(trackRect().bottom() + edgeMargin))};
}

QSize ValueSlider::minimumSizeHint() const { return {120, sizeHint().height()}; }

double ValueSlider::clamped(double value) const { return std::clamp(value, lower_, upper_); }

double ValueSlider::fraction(double value) const
{
    return upper_ > lower_ ? std::clamp((value - lower_) / (upper_ - lower_), 0.0, 1.0) : 0.0;
}

void ValueSlider::setDragging(bool dragging)
{
    if (dragging == dragging_)
        return;
    dragging_ = dragging;
    if (dragging)
        Q_EMIT dragStarted();
    else
        Q_EMIT dragFinished();
    knobAnimation_.stop();
    knobAnimation_.setStartValue(knobScale_);
    knobAnimation_.setEndValue(dragging ? knobGrowth : 1.0);
    knobAnimation_.start();
}

// Only the drawing follows the animation; value() has the new value at once.
void ValueSlider::showValue(double value, bool animated)
{
    if (animated) {
        valueAnimation_.stop();
        valueAnimation_.setStartValue(shownValue_);
        valueAnimation_.setEndValue(value);
        valueAnimation_.start();
    } else if (valueAnimation_.state() == QAbstractAnimation::Running) {
        valueAnimation_.setEndValue(value);
    } else {
        shownValue_ = value;
        update();
    }
}

int ValueSlider::headerHeight() const
{
    return std::max(QFontMetrics(titleFont()).height(), QFontMetrics(valueFont()).height());
}

void ValueSlider::announceValue()
{
    if (!QAccessible::isActive())
        return;
    QAccessibleValueChangeEvent event(this, value_);
    QAccessible::updateAccessibility(&event);
}

QRectF ValueSlider::valueTextRect() const
{
    const double textWidth = QFontMetricsF(valueFont()).horizontalAdvance(textFor(shownValue_));
    return {width() - edgeMargin - textWidth, edgeMargin, textWidth,
            static_cast<double>(headerHeight())};
}

std::optional<double> ValueSlider::typedValue(const QString& text)
{
    QString number = text.trimmed();
    if (number.endsWith(QLatin1Char('%')))
        number.chop(1);
    number = number.trimmed();
    if (number.startsWith(QLatin1Char('+')))
        number.remove(0, 1);
    // The minus sign the value text uses, and a comma for a decimal point.
    number.replace(QChar(0x2212), QLatin1Char('-')).replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    const double shown = number.toDouble(&ok);
    if (!ok || !std::isfinite(shown))
        return std::nullopt;
    return shown / textUnitsPerValue;
}

void ValueSlider::beginTyping()
{
    if (!typing_) {
        typing_ = new QLineEdit(this);
        typing_->setAlignment(Qt::AlignRight);
        typing_->setFont(valueFont());
        typing_->setAccessibleName(title_);
        typing_->installEventFilter(this);
        connect(typing_, &QLineEdit::editingFinished, this, [this] { finishTyping(true); });
    }
    const int height = std::max(headerHeight() + 4, typing_->sizeHint().height());
    typing_->setGeometry(width() - static_cast<int>(edgeMargin) - typingFieldWidth, 0,
                         typingFieldWidth, height);
    typing_->setText(QString::number(value_ * textUnitsPerValue, 'g', 4));
    typing_->selectAll();
    typingOpen_ = true;
    typing_->show();
    typing_->setFocus(Qt::OtherFocusReason);
}

void ValueSlider::finishTyping(bool apply)
{
    // Hiding the field takes its focus away, which finishes the typing a second time.
    if (!typingOpen_)
        return;
    typingOpen_ = false;
    const std::optional<double> typed = apply ? typedValue(typing_->text()) : std::nullopt;
    typing_->hide();
    setFocus(Qt::OtherFocusReason);
    if (typed)
        edit(*typed);
}

bool ValueSlider::eventFilter(QObject* watched, QEvent* event)
{
    // The field's keys stop here: a Return the field ignores would reach the slider and open
    // the field again.
    if (watched == typing_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter) {
            finishTyping(key != Qt::Key_Escape);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void ValueSlider::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);

    const QRectF header(edgeMargin, edgeMargin, width() - 2 * edgeMargin, headerHeight());
    painter.setFont(titleFont());
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(header, Qt::AlignLeft | Qt::AlignVCenter, title_);
    painter.setFont(valueFont());
    painter.setPen(Theme::secondary());
    // The drawn value, so that the text counts along with an animated reset.
    painter.drawText(header, Qt::AlignRight | Qt::AlignVCenter, textFor(shownValue_));

    const QRectF track = trackRect();
    const double radius = track.height() / 2;
    const double centreX = knobCentreX(shownValue_);
    painter.setPen(Qt::NoPen);
    if (gradient_.empty()) {
        painter.setBrush(Theme::quaternaryFill());
        painter.drawRoundedRect(track, radius, radius);
        painter.setBrush(Theme::accent());
        const QRectF filled(track.left(), track.top(), centreX + knobDiameter / 2 - track.left(),
                            track.height());
        painter.drawRoundedRect(filled, radius, radius);
    } else {
        QLinearGradient fill(track.topLeft(), track.topRight());
        const double last = std::max<double>(1, gradient_.size() - 1);
        for (std::size_t i = 0; i < gradient_.size(); ++i)
            fill.setColorAt(static_cast<double>(i) / last, gradient_[i]);
        painter.setBrush(fill);
        painter.drawRoundedRect(track, radius, radius);
    }

    const double diameter = knobDiameter * knobScale_;
    const QRectF knob(centreX - diameter / 2, track.center().y() - diameter / 2, diameter,
                      diameter);
    painter.setPen(QPen(Theme::secondary(0.35), 0.5));
    painter.setBrush(QColor(Qt::white));
    painter.drawEllipse(knob.adjusted(0.5, 0.5, -0.5, -0.5));
    if (hasFocus()) {
        painter.setPen(QPen(Theme::accent(), 1.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(knob.adjusted(-1, -1, 1, 1));
    }
}

void ValueSlider::mousePressEvent(QMouseEvent* event)
{
    const QRectF track = trackRect();
    const double y = event->position().y();
    if (event->button() != Qt::LeftButton || y < track.top() - grabSlack ||
        y > track.bottom() + grabSlack) {
        QWidget::mousePressEvent(event);
        return;
    }
    valueAnimation_.stop();
    setDragging(true);
    // A press on the knob takes hold of it where it is; elsewhere on the track it jumps there.
    const double offset = event->position().x() - knobCentreX(value_);
    if (std::abs(offset) <= knobDiameter / 2) {
        grabOffset_ = offset;
        return;
    }
    grabOffset_ = 0;
    edit(valueAt(event->position().x()));
}

void ValueSlider::mouseMoveEvent(QMouseEvent* event)
{
    if (!dragging_) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    edit(valueAt(event->position().x() - grabOffset_));
}

void ValueSlider::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    setDragging(false);
    event->accept();
}

void ValueSlider::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseDoubleClickEvent(event);
        return;
    }
    setDragging(false);
    if (valueTextRect().contains(event->position())) {
        beginTyping();
        return;
    }
    value_ = defaultValue_;
    showValue(value_, true);
    announceValue();
    Q_EMIT valueEdited(value_);
}

void ValueSlider::keyPressEvent(QKeyEvent* event)
{
    const double arrowStep =
        event->modifiers() & Qt::ShiftModifier ? step() * fineStepFraction : step();
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Down: edit(value_ - arrowStep); break;
    case Qt::Key_Right:
    case Qt::Key_Up: edit(value_ + arrowStep); break;
    case Qt::Key_Return:
    case Qt::Key_Enter: beginTyping(); break;
    case Qt::Key_PageDown: edit(value_ - pageSteps * step()); break;
    case Qt::Key_PageUp: edit(value_ + pageSteps * step()); break;
    case Qt::Key_Home: edit(lower_); break;
    case Qt::Key_End: edit(upper_); break;
    default: QWidget::keyPressEvent(event); return;
    }
    // Set after the edit, which clears it for every other way of changing the value; the
    // history records on a later turn of the event loop.
    lastEditWasKey_ = event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter;
}

}  // namespace lumivert
