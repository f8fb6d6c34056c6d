#include "Figure.hpp"

#include "Theme.hpp"

#include <QLabel>
#include <QResizeEvent>

#include <algorithm>

namespace lumivert {

namespace {
constexpr int captionSpacing = 4;
constexpr int preferredSide = 120;
constexpr int smallestSide = 60;
}  // namespace

Figure::Figure(const QString& caption, QWidget* content, QWidget* parent)
    : QWidget(parent), content_(content), caption_(new QLabel(caption, this))
{
    content_->setParent(this);
    // A drawn figure has no text of its own for assistive technology: its caption names it.
    setAccessibleName(caption);
    if (content_->accessibleName().isEmpty())
        content_->setAccessibleName(caption);
    caption_->setFont(Theme::font(Theme::TextStyle::caption2));
    caption_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

QString Figure::caption() const { return caption_->text(); }

int Figure::heightForWidth(int width) const
{
    return width + captionSpacing + caption_->sizeHint().height();
}

QSize Figure::sizeHint() const { return {preferredSide, heightForWidth(preferredSide)}; }

QSize Figure::minimumSizeHint() const { return {smallestSide, heightForWidth(smallestSide)}; }

void Figure::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // The square takes what the caption leaves, centred across the width.
    const int captionHeight = caption_->sizeHint().height();
    const int side = std::max(0, std::min(width(), height() - captionSpacing - captionHeight));
    content_->setGeometry((width() - side) / 2, 0, side, side);
    caption_->setGeometry(0, side + captionSpacing, width(), captionHeight);
}

}  // namespace lumivert
