#include "Card.hpp"

#include "Symbols.hpp"
#include "Theme.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace lumivert {

namespace {

constexpr int padding = 14;
constexpr int spacing = 12;
constexpr int headerSpacing = 6;
constexpr double cornerRadius = 16;
constexpr double borderWidth = 0.5;
constexpr int symbolSize = 16;

}  // namespace

Card::Card(const QString& identifier, const QString& title, const QString& symbol, QWidget* content,
           QWidget* trailing, QWidget* parent)
    : QWidget(parent), identifier_(identifier), icon_(new QLabel), title_(new QLabel(title)),
      content_(content), trailing_(trailing)
{
    setObjectName(identifier);
    setAccessibleName(title);

    title_->setFont(Theme::font(Theme::TextStyle::headline));
    auto* header = new QHBoxLayout;
    header->setSpacing(headerSpacing);
    header->addWidget(icon_);
    header->addWidget(title_);
    header->addStretch(1);
    if (trailing_)
        header->addWidget(trailing_);

    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(padding, padding, padding, padding);
    stack->setSpacing(spacing);
    stack->addLayout(header);
    if (content_)
        stack->addWidget(content_);
    setSymbol(symbol);
}

QString Card::title() const { return title_->text(); }

void Card::setTitle(const QString& title)
{
    title_->setText(title);
    setAccessibleName(title);
}

void Card::setSymbol(const QString& symbol)
{
    symbol_ = symbol;
    icon_->setPixmap(Symbols::icon(symbol).pixmap(symbolSize, symbolSize));
}

void Card::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Theme::secondary(0.3), borderWidth));
    painter.setBrush(Theme::quaternaryFill());
    const double inset = borderWidth / 2;
    painter.drawRoundedRect(QRectF(rect()).adjusted(inset, inset, -inset, -inset), cornerRadius,
                            cornerRadius);
}

}  // namespace lumivert
