#include "ToastView.hpp"

#include "Symbols.hpp"
#include "Theme.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include <algorithm>

namespace lumivert {

namespace {
constexpr int symbolSize = 18;
constexpr int paddingX = 14;
constexpr int paddingY = 8;
constexpr int spacing = 10;
// Far wider than any pane, so that measuring gives the message's one-line width.
constexpr int unboundedWidth = 1 << 20;
constexpr double fillOpacity = 0.72;
constexpr double cornerRadius = 12;
}  // namespace

ToastView::ToastView(AppModel& model, QWidget* parent)
    : QFrame(parent), model_(model), symbol_(new QLabel(this)), message_(new QLabel(this)),
      reveal_(new QPushButton(QStringLiteral("Show in Folder"), this))
{
    setAttribute(Qt::WA_TranslucentBackground);
    symbol_->setPixmap(
        Symbols::icon(QStringLiteral("checkmark.circle.fill")).pixmap(symbolSize, symbolSize));
    message_->setWordWrap(true);
    message_->setFont(Theme::font(Theme::TextStyle::callout));
    QPalette light = message_->palette();
    light.setColor(QPalette::WindowText, Qt::white);
    message_->setPalette(light);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(paddingX, paddingY, paddingX, paddingY);
    row->setSpacing(spacing);
    row->addWidget(symbol_);
    row->addWidget(message_, 1);
    row->addWidget(reveal_);

    connect(reveal_, &QPushButton::clicked, this, [this] { model_.revealToastFile(); });
    connect(&model_, &AppModel::toastChanged, this, &ToastView::refresh);
    refresh();
}

QString ToastView::message() const { return message_->text(); }

void ToastView::refresh()
{
    // A cleared toast keeps its last content so that it can fade out as it was.
    const std::optional<Toast>& toast = model_.toast();
    if (!toast)
        return;
    message_->setText(toast->message);
    reveal_->setVisible(toast->url.has_value());
    updateGeometry();
}

QSize ToastView::sizeWithin(int width)
{
    // A wrapping label asks for little width and wraps early; it gets the width its text takes
    // on one line (measured as the label measures), or what is left of `width`.
    const int oneLine = message_->fontMetrics()
                            .boundingRect(QRect(0, 0, unboundedWidth, unboundedWidth),
                                          Qt::TextWordWrap, message_->text())
                            .width();
    int chrome = 2 * paddingX + symbol_->sizeHint().width() + spacing;
    if (!reveal_->isHidden())
        chrome += spacing + reveal_->sizeHint().width();
    const int textWidth = std::max(0, std::min(oneLine + 1, width - chrome));
    message_->setFixedWidth(textWidth);
    const int total = chrome + textWidth;
    const int height =
        std::max(layout()->totalMinimumSize().height(), layout()->totalHeightForWidth(total));
    return {total, height};
}

void ToastView::paintEvent(QPaintEvent*)
{
    Theme::paintDarkPanel(*this, cornerRadius, fillOpacity);
}

}  // namespace lumivert
