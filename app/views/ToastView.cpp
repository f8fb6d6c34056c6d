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
constexpr int maximumMessageWidth = 520;
constexpr double fillOpacity = 0.72;
constexpr double cornerRadius = 12;
}  // namespace

ToastView::ToastView(AppModel& model, QWidget* parent)
    : QFrame(parent), model_(model), message_(new QLabel(this)),
      reveal_(new QPushButton(QStringLiteral("Show in Folder"), this))
{
    setAttribute(Qt::WA_TranslucentBackground);
    auto* symbol = new QLabel(this);
    symbol->setPixmap(
        Symbols::icon(QStringLiteral("checkmark.circle.fill")).pixmap(symbolSize, symbolSize));
    message_->setWordWrap(true);
    message_->setMaximumWidth(maximumMessageWidth);
    message_->setFont(Theme::font(Theme::TextStyle::callout));
    QPalette light = message_->palette();
    light.setColor(QPalette::WindowText, Qt::white);
    message_->setPalette(light);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(paddingX, paddingY, paddingX, paddingY);
    row->setSpacing(spacing);
    row->addWidget(symbol);
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
    // A wrapping label asks for little width; give short messages one line.
    const int textWidth = message_->fontMetrics().horizontalAdvance(toast->message);
    message_->setMinimumWidth(std::min(textWidth, maximumMessageWidth));
    reveal_->setVisible(toast->url.has_value());
    adjustSize();
}

void ToastView::paintEvent(QPaintEvent*)
{
    Theme::paintDarkPanel(*this, cornerRadius, fillOpacity);
}

}  // namespace lumivert
