#include "ModeRow.hpp"

#include "Presentation.hpp"
#include "Symbols.hpp"
#include "Theme.hpp"

#include <QFocusEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

namespace lumivert {

namespace {

constexpr int glyphSize = 15;
constexpr int glyphFrameWidth = 24;
constexpr int textSpacing = 1;
constexpr int rowSpacing = 6;
constexpr int horizontalPadding = 6;
constexpr int verticalPadding = 5;
constexpr qreal selectionRadius = 6;

void setTextColour(QLabel* label, const QColor& colour)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

}  // namespace

ModeRow::ModeRow(Mode mode, QWidget* parent)
    : ModeRow(Presentation::modeSymbol(mode), Modes::title(mode),
              Presentation::modeDescription(mode), parent)
{
    mode_ = mode;
}

ModeRow::ModeRow(const QString& symbol, const QString& titleText, const QString& descriptionText,
                 QWidget* parent)
    : QWidget(parent), mode_(Mode::look), symbolName_(symbol), symbol_(new QLabel(this)),
      title_(new QLabel(titleText, this)), description_(new QLabel(descriptionText, this))
{
    symbol_->setFixedWidth(glyphFrameWidth);
    symbol_->setAlignment(Qt::AlignCenter);
    title_->setFont(Theme::font(Theme::TextStyle::body, QFont::Medium));
    description_->setFont(Theme::font(Theme::TextStyle::caption));
    description_->setWordWrap(true);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(textSpacing);
    texts->setContentsMargins(0, 0, 0, 0);
    texts->addWidget(title_);
    texts->addWidget(description_);
    auto* row = new QHBoxLayout(this);
    row->setSpacing(rowSpacing);
    row->setContentsMargins(horizontalPadding, verticalPadding, horizontalPadding, verticalPadding);
    row->addWidget(symbol_, 0, Qt::AlignVCenter);
    row->addLayout(texts, 1);

    setFocusPolicy(Qt::TabFocus);
    setAccessibleName(title());
    setAccessibleDescription(description());
    restyle();
}

QString ModeRow::title() const { return title_->text(); }
QString ModeRow::description() const { return description_->text(); }

void ModeRow::setDescription(const QString& description)
{
    description_->setText(description);
    setAccessibleDescription(description);
}

void ModeRow::setSelected(bool selected)
{
    if (selected == selected_)
        return;
    selected_ = selected;
    restyle();
    update();
}

void ModeRow::restyle()
{
    // Glyphs are drawn for the densest screen. On the selection's fill every part of the row turns
    // to the highlighted text colour.
    const QColor ink = selected_ ? palette().color(QPalette::HighlightedText)
                                 : palette().color(QPalette::WindowText);
    setTextColour(title_, ink);
    setTextColour(description_, selected_ ? ink : Theme::secondary());
    symbol_->setPixmap(Symbols::tinted(symbolName_, glyphSize, selected_ ? ink : Theme::accent(),
                                       qGuiApp->devicePixelRatio()));
}

void ModeRow::paintEvent(QPaintEvent*)
{
    const bool focusRing = hasFocus() && keyboardFocus_;
    if (!selected_ && !focusRing)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF shape = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    if (selected_) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(palette().color(QPalette::Highlight));
        painter.drawRoundedRect(shape, selectionRadius, selectionRadius);
    }
    if (focusRing) {
        QColor ring = selected_ ? palette().color(QPalette::HighlightedText) : Theme::accent();
        ring.setAlphaF(0.7f);
        painter.setPen(QPen(ring, 1.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(shape.adjusted(1, 1, -1, -1), selectionRadius, selectionRadius);
    }
}

void ModeRow::mousePressEvent(QMouseEvent* event)
{
    pressed_ = event->button() == Qt::LeftButton;
    event->accept();
}

void ModeRow::mouseReleaseEvent(QMouseEvent* event)
{
    const bool click = pressed_ && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    pressed_ = false;
    event->accept();
    if (click)
        trigger();
}

void ModeRow::focusInEvent(QFocusEvent* event)
{
    keyboardFocus_ = event->reason() == Qt::TabFocusReason ||
                     event->reason() == Qt::BacktabFocusReason ||
                     event->reason() == Qt::ShortcutFocusReason;
    QWidget::focusInEvent(event);
}

void ModeRow::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter: trigger(); break;
    default: QWidget::keyPressEvent(event); break;
    }
}

void ModeRow::trigger()
{
    Q_EMIT activated(mode_);
    Q_EMIT triggered();
}

void ModeRow::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange)
        restyle();
}

}  // namespace lumivert
