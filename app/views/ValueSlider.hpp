#pragma once
// The labelled slider behind every numeric control of the inspector: a header with the title and
// the value text, an 18-pixel track (a gradient, or an accent fill up to the value) and a round
// knob. The value is set by the owner (from the model) with setValue, which never emits; the
// user's changes (drag, double click, keys, typing, assistive technology) come out of
// valueEdited. Double-clicking the value text, or Enter, opens a field for a typed number in the
// units the text shows (hundredths of the value); Shift with an arrow moves a tenth of a step.
#include <QColor>
#include <QString>
#include <QVariantAnimation>
#include <QWidget>

#include <functional>
#include <optional>
#include <vector>

class QLineEdit;

namespace lumivert {

class ValueSlider : public QWidget {
    Q_OBJECT

public:
    using Format = std::function<QString(double)>;

    ValueSlider(const QString& title, double lower, double upper, double defaultValue,
                QWidget* parent = nullptr);

    const QString& title() const { return title_; }
    double lowerBound() const { return lower_; }
    double upperBound() const { return upper_; }
    double defaultValue() const { return defaultValue_; }
    // One keyboard or accessibility step: a fortieth of the range unless set.
    double step() const { return step_ > 0 ? step_ : (upper_ - lower_) / stepsPerRange; }
    void setStep(double step) { step_ = step; }

    // Colours spread evenly from left to right; empty for the accent fill.
    void setGradient(std::vector<QColor> colours);
    const std::vector<QColor>& gradient() const { return gradient_; }
    // Shown as the tooltip and given to assistive technology as the description.
    void setHelp(const QString& help);
    const QString& help() const { return help_; }
    // An empty function restores the default, round(value × 100) followed by "%".
    void setFormat(Format format);

    double value() const { return value_; }
    // From the owner: clamps into the range, redraws, emits nothing.
    void setValue(double value);
    QString valueText() const;
    bool isDragging() const { return dragging_; }
    // Whether the latest user change came from a key (arrows, pages, Home, End): the undo history
    // joins a run of them into one step.
    bool lastEditWasKey() const { return lastEditWasKey_; }

    // The track in widget coordinates and the knob's diameter at rest; the knob's centre runs
    // from knobDiameter / 2 to width − knobDiameter / 2 inside the track.
    QRectF trackRect() const;
    static constexpr double knobDiameter = 18;
    // The value under the pointer at widget x, and the knob centre's x for a value.
    double valueAt(double x) const;
    double knobCentreX(double value) const;

    // A user action: clamps, stores, redraws and emits valueEdited.
    void edit(double value);

    // Where the value text is drawn; a double click there opens the typing field.
    QRectF valueTextRect() const;
    // Opens the field for a typed value; Enter or leaving it applies it, Escape cancels.
    void beginTyping();
    QLineEdit* typingField() const { return typing_; }
    // The value a typed text stands for ("45", "45%", "+4.5", "-12"), or nothing.
    static std::optional<double> typedValue(const QString& text);

    static QString percentText(double value);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

Q_SIGNALS:
    void valueEdited(double value);
    // A drag, from press to release: its edits make one change for undo.
    void dragStarted();
    void dragFinished();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static constexpr double stepsPerRange = 40;

    QString textFor(double value) const;
    double clamped(double value) const;
    double fraction(double value) const;
    void setDragging(bool dragging);
    void showValue(double value, bool animated);
    int headerHeight() const;
    void announceValue();
    void finishTyping(bool apply);

    QString title_;
    double lower_;
    double upper_;
    double defaultValue_;
    std::vector<QColor> gradient_;
    QString help_;
    Format format_;
    double step_ = 0;  // 0: a fortieth of the range
    double value_;
    bool dragging_ = false;
    bool lastEditWasKey_ = false;
    // How far right of the knob's centre the drag took hold, so that the knob does not jump.
    double grabOffset_ = 0;
    // What is drawn: the knob follows the value through short animations.
    double shownValue_;
    double knobScale_ = 1.0;
    QVariantAnimation valueAnimation_;
    QVariantAnimation knobAnimation_;
    QLineEdit* typing_ = nullptr;
    bool typingOpen_ = false;
};

}  // namespace lumivert
