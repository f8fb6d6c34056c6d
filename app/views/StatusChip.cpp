#include "StatusChip.hpp"

#include "Symbols.hpp"
#include "Theme.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QTimer>

namespace lumivert {

namespace {

constexpr int symbolSize = 14;
constexpr int spinnerSize = 14;
constexpr int spinnerTickMs = 16;
constexpr int spinnerDegreesPerTick = 8;
constexpr int spinnerSweepDegrees = 270;
constexpr double spinnerStroke = 2;
constexpr int paddingX = 12;
constexpr int paddingY = 6;
constexpr int spacing = 6;
constexpr double fillOpacity = 0.55;

// An indeterminate progress arc; it turns only while shown.
class Spinner : public QWidget {
public:
    explicit Spinner(QWidget* parent) : QWidget(parent)
    {
        setFixedSize(spinnerSize, spinnerSize);
        timer_.setInterval(spinnerTickMs);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] {
            angle_ = (angle_ + spinnerDegreesPerTick) % 360;
            update();
        });
    }

protected:
    void showEvent(QShowEvent*) override { timer_.start(); }
    void hideEvent(QHideEvent*) override { timer_.stop(); }
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(Qt::white, spinnerStroke, Qt::SolidLine, Qt::RoundCap));
        const double inset = spinnerStroke / 2 + 0.5;
        // QPainter measures arcs in sixteenths of a degree, counter-clockwise.
        painter.drawArc(QRectF(rect()).adjusted(inset, inset, -inset, -inset), -angle_ * 16,
                        spinnerSweepDegrees * 16);
    }

private:
    QTimer timer_;
    int angle_ = 0;
};

}  // namespace

StatusChip::StatusChip(AppModel& model, QWidget* parent)
    : QFrame(parent), model_(model), spinner_(new Spinner(this)), symbol_(new QLabel(this)),
      label_(new QLabel(this))
{
    setAttribute(Qt::WA_TranslucentBackground);
    symbol_->setPixmap(Symbols::icon(QStringLiteral("sparkles")).pixmap(symbolSize, symbolSize));
    label_->setFont(Theme::font(Theme::TextStyle::callout, QFont::Medium));
    QPalette light = label_->palette();
    light.setColor(QPalette::WindowText, Qt::white);
    label_->setPalette(light);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(paddingX, paddingY, paddingX, paddingY);
    row->setSpacing(spacing);
    row->addWidget(spinner_);
    row->addWidget(symbol_);
    row->addWidget(label_);

    // The inputs of the status line, and the busy counter.
    for (auto signal :
         {&AppModel::busyChanged, &AppModel::modeChanged, &AppModel::imagesChanged,
          &AppModel::lookAnalysisChanged, &AppModel::matchAnalysisChanged,
          &AppModel::editFitChanged, &AppModel::haldLUTChanged, &AppModel::clipWarningChanged})
        connect(&model_, signal, this, &StatusChip::refresh);
    refresh();
}

QString StatusChip::text() const { return isHidden() ? QString() : label_->text(); }

bool StatusChip::showsProgress() const { return !isHidden() && !spinner_->isHidden(); }

void StatusChip::refresh()
{
    const bool busy = model_.busy() > 0;
    const std::optional<QString> status = busy ? std::nullopt : model_.statusLine();
    spinner_->setVisible(busy);
    symbol_->setVisible(!busy && status.has_value());
    label_->setText(busy ? QStringLiteral("Analysing…") : status.value_or(QString()));
    setVisible(busy || status.has_value());
    adjustSize();
}

void StatusChip::paintEvent(QPaintEvent*)
{
    Theme::paintDarkPanel(*this, height() / 2.0, fillOpacity);
}

}  // namespace lumivert
