#include "FineTuneControls.hpp"
#include "ModeControls.hpp"
#include "ValueSlider.hpp"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <memory>

using namespace lumivert;

namespace {

constexpr double tolerance = 1e-9;

// A shown slider wide enough for exact pointer arithmetic.
std::unique_ptr<ValueSlider> makeSlider(double lower = 0, double upper = 1.5, double def = 0.8)
{
    auto slider = std::make_unique<ValueSlider>(QStringLiteral("Tone"), lower, upper, def);
    slider->setHelp(QStringLiteral("Black lift, highlight roll-off and contrast"));
    slider->resize(260, slider->sizeHint().height());
    slider->show();
    return slider;
}

QPoint onTrack(const ValueSlider& slider, double x)
{
    return QPoint(static_cast<int>(std::lround(x)),
                  static_cast<int>(std::lround(slider.trackRect().center().y())));
}

// The pointer x that puts the knob's centre at this fraction of its travel.
double xAtFraction(const ValueSlider& slider, double fraction)
{
    const QRectF track = slider.trackRect();
    return track.left() + ValueSlider::knobDiameter / 2 +
           fraction * (track.width() - ValueSlider::knobDiameter);
}

}  // namespace

class ValueSliderTests : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Pointer.

    void dragPinsToTheBoundsBeyondEitherEnd()
    {
        auto slider = makeSlider();
        QSignalSpy edited(slider.get(), &ValueSlider::valueEdited);
        QTest::mousePress(slider.get(), Qt::LeftButton, {}, onTrack(*slider, 40));
        QVERIFY(slider->isDragging());
        QTest::mouseMove(slider.get(), onTrack(*slider, -80));
        QCOMPARE(slider->value(), 0.0);
        QTest::mouseMove(slider.get(), onTrack(*slider, slider->width() + 80));
        QCOMPARE(slider->value(), 1.5);
        QTest::mouseRelease(slider.get(), Qt::LeftButton, {}, onTrack(*slider, 400));
        QVERIFY(!slider->isDragging());
        QCOMPARE(edited.size(), 3);
        QCOMPARE(edited.last().at(0).toDouble(), 1.5);
        // Once released, moving the pointer changes nothing.
        QTest::mouseMove(slider.get(), onTrack(*slider, 20));
        QCOMPARE(slider->value(), 1.5);
    }

    void dragFollowsTheKnobCentreFormula_data()
    {
        QTest::addColumn<double>("lower");
        QTest::addColumn<double>("upper");
        QTest::addColumn<double>("fraction");
        QTest::newRow("strength, a quarter") << 0.0 << 1.5 << 0.25;
        QTest::newRow("strength, middle") << 0.0 << 1.5 << 0.5;
        QTest::newRow("fine tune, 70 %") << -1.0 << 1.0 << 0.7;
    }

    void dragFollowsTheKnobCentreFormula()
    {
        QFETCH(double, lower);
        QFETCH(double, upper);
        QFETCH(double, fraction);
        auto slider = makeSlider(lower, upper, lower);
        const double x = xAtFraction(*slider, fraction);
        const double w = slider->trackRect().width() - ValueSlider::knobDiameter;
        const double expected =
            lower +
            (upper - lower) *
                ((std::lround(x) - slider->trackRect().left() - ValueSlider::knobDiameter / 2) / w);
        QTest::mousePress(slider.get(), Qt::LeftButton, {}, onTrack(*slider, x));
        QVERIFY(std::abs(slider->value() - expected) < tolerance);
        QVERIFY(std::abs(slider->value() - (lower + (upper - lower) * fraction)) <
                (upper - lower) / w);
        QTest::mouseRelease(slider.get(), Qt::LeftButton, {}, onTrack(*slider, x));
    }

    void pressOnTheKnobTakesHoldWithoutMovingIt()
    {
        // Wherever the knob sits and wherever on it the press lands, the press changes nothing
        // and the drag moves the value by exactly the pointer's travel.
        for (const double start : {0.0, 0.3, 0.8, 1.5}) {
            for (const int offset : {-8, -3, 0, 4, 8}) {
                auto slider = makeSlider();
                slider->setValue(start);
                QSignalSpy edited(slider.get(), &ValueSlider::valueEdited);
                const double centre = slider->knobCentreX(start);
                const QPoint press = onTrack(*slider, std::round(centre) + offset);
                QTest::mousePress(slider.get(), Qt::LeftButton, {}, press);
                QVERIFY(slider->isDragging());
                QCOMPARE(edited.size(), 0);
                QCOMPARE(slider->value(), start);
                const int travel = start > 0.75 ? -30 : 30;
                QTest::mouseMove(slider.get(), press + QPoint(travel, 0));
                const double perPixel =
                    1.5 / (slider->trackRect().width() - ValueSlider::knobDiameter);
                const double expected = std::clamp(start + travel * perPixel, 0.0, 1.5);
                QVERIFY2(std::abs(slider->value() - expected) < 1e-9,
                         qPrintable(QStringLiteral("start %1, offset %2: %3 instead of %4")
                                        .arg(start)
                                        .arg(offset)
                                        .arg(slider->value())
                                        .arg(expected)));
                QTest::mouseRelease(slider.get(), Qt::LeftButton, {}, press);
            }
        }
    }

    void pressOnTheHeaderDoesNotMoveTheValue()
    {
        auto slider = makeSlider();
        QSignalSpy edited(slider.get(), &ValueSlider::valueEdited);
        QTest::mousePress(slider.get(), Qt::LeftButton, {}, QPoint(10, 3));
        QVERIFY(!slider->isDragging());
        QCOMPARE(edited.size(), 0);
        QCOMPARE(slider->value(), 0.8);
    }

    void doubleClickAnywhereRestoresTheDefault()
    {
        auto slider = makeSlider();
        slider->setValue(0.2);
        QSignalSpy edited(slider.get(), &ValueSlider::valueEdited);
        QTest::mouseDClick(slider.get(), Qt::LeftButton, {}, QPoint(10, 3));
        QTest::mouseRelease(slider.get(), Qt::LeftButton, {}, QPoint(10, 3));
        QCOMPARE(slider->value(), 0.8);
        QCOMPARE(edited.last().at(0).toDouble(), 0.8);
        QCOMPARE(slider->valueText(), QStringLiteral("80%"));

        // On the track the press moves the knob first; the double click still ends on the default.
        const QPoint nearStart = onTrack(*slider, 20);
        QTest::mouseClick(slider.get(), Qt::LeftButton, {}, nearStart);
        QVERIFY(slider->value() < 0.1);
        QTest::mouseDClick(slider.get(), Qt::LeftButton, {}, nearStart);
        QTest::mouseRelease(slider.get(), Qt::LeftButton, {}, nearStart);
        QCOMPARE(slider->value(), 0.8);
        QVERIFY(!slider->isDragging());
    }

    // Typed values.

    void typedTextsReadInTheUnitsShown_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value");  // NaN: refused
        QTest::newRow("plain") << "45" << 0.45;
        QTest::newRow("percent") << "45%" << 0.45;
        QTest::newRow("spaced percent") << " 45 % " << 0.45;
        QTest::newRow("signed") << "+4.5" << 0.045;
        QTest::newRow("minus sign") << "\u221212" << -0.12;
        QTest::newRow("hyphen") << "-12" << -0.12;
        QTest::newRow("decimal comma") << "7,5" << 0.075;
        QTest::newRow("word") << "Smooth" << qQNaN();
        QTest::newRow("empty") << "" << qQNaN();
        QTest::newRow("overflow") << "1e400" << qQNaN();
        QTest::newRow("two numbers") << "4 5" << qQNaN();
    }

    void typedTextsReadInTheUnitsShown()
    {
        QFETCH(QString, text);
        QFETCH(double, value);
        const std::optional<double> typed = ValueSlider::typedValue(text);
        QCOMPARE(typed.has_value(), !std::isnan(value));
        if (typed)
            QVERIFY(std::abs(*typed - value) < tolerance);
    }

    void typingAValueEditsItClampedToTheRange()
    {
        auto slider = makeSlider();
        QSignalSpy edited(slider.get(), &ValueSlider::valueEdited);
        // A double click on the value text opens the field instead of restoring the default.
        const QPoint onText = slider->valueTextRect().center().toPoint();
        QTest::mouseDClick(slider.get(), Qt::LeftButton, {}, onText);
        QLineEdit* field = slider->typingField();
        QVERIFY(field && field->isVisible());
        QCOMPARE(field->text(), QStringLiteral("80"));
        QVERIFY(edited.isEmpty());
        field->selectAll();
        QTest::keyClicks(field, QStringLiteral("37.5"));
        QTest::keyClick(field, Qt::Key_Return);
        QVERIFY(!field->isVisible());
        QCOMPARE(edited.size(), 1);
        QVERIFY(std::abs(slider->value() - 0.375) < tolerance);

        // Enter on the focused slider opens it too; beyond the range is clamped, Escape cancels.
        slider->setFocus();
        QTest::keyClick(slider.get(), Qt::Key_Return);
        QVERIFY(field->isVisible());
        field->selectAll();
        QTest::keyClicks(field, QStringLiteral("900"));
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(slider->value(), 1.5);
        QTest::keyClick(slider.get(), Qt::Key_Enter);
        field->selectAll();
        QTest::keyClicks(field, QStringLiteral("10"));
        QTest::keyClick(field, Qt::Key_Escape);
        QVERIFY(!field->isVisible());
        QCOMPARE(slider->value(), 1.5);
        // Text that is not a number changes nothing.
        QTest::keyClick(slider.get(), Qt::Key_Return);
        field->selectAll();
        QTest::keyClicks(field, QStringLiteral("lots"));
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(slider->value(), 1.5);
        QCOMPARE(edited.size(), 2);
    }

    void shiftArrowsMoveATenthOfAStep()
    {
        auto slider = makeSlider();
        slider->setFocus();
        for (int i = 0; i < 7; ++i)
            QTest::keyClick(slider.get(), Qt::Key_Right, Qt::ShiftModifier);
        QVERIFY(std::abs(slider->value() - (0.8 + 0.7 * slider->step())) < tolerance);
        QTest::keyClick(slider.get(), Qt::Key_Left);
        QVERIFY(std::abs(slider->value() - (0.8 - 0.3 * slider->step())) < tolerance);
    }

    // Keyboard and assistive technology.

    void keysStepByAFortiethAndClamp()
    {
        auto slider = makeSlider();
        const double step = 1.5 / 40;
        QSignalSpy edited(slider.get(), &ValueSlider::valueEdited);
        QTest::keyClick(slider.get(), Qt::Key_Right);
        QVERIFY(std::abs(slider->value() - (0.8 + step)) < tolerance);
        QTest::keyClick(slider.get(), Qt::Key_Left);
        QTest::keyClick(slider.get(), Qt::Key_Down);
        QVERIFY(std::abs(slider->value() - (0.8 - step)) < tolerance);
        QTest::keyClick(slider.get(), Qt::Key_PageUp);
        QVERIFY(std::abs(slider->value() - (0.8 + 3 * step)) < tolerance);
        QCOMPARE(edited.size(), 4);

        slider->setValue(1.49);
        QTest::keyClick(slider.get(), Qt::Key_Up);
        QCOMPARE(slider->value(), 1.5);
        QTest::keyClick(slider.get(), Qt::Key_Right);
        QCOMPARE(slider->value(), 1.5);
        slider->setValue(0.01);
        QTest::keyClick(slider.get(), Qt::Key_PageDown);
        QCOMPARE(slider->value(), 0.0);
        QTest::keyClick(slider.get(), Qt::Key_End);
        QCOMPARE(slider->value(), 1.5);
        QTest::keyClick(slider.get(), Qt::Key_Home);
        QCOMPARE(slider->value(), 0.0);
    }

    void accessibleElementNamesTitleHelpAndValue()
    {
        auto slider = makeSlider();
        QCOMPARE(slider->toolTip(), slider->help());
        QAccessibleInterface* element = QAccessible::queryAccessibleInterface(slider.get());
        QVERIFY(element);
        QCOMPARE(element->role(), QAccessible::Slider);
        QCOMPARE(element->text(QAccessible::Name), QStringLiteral("Tone"));
        QCOMPARE(element->text(QAccessible::Description), slider->help());
        QCOMPARE(element->text(QAccessible::Value), QStringLiteral("80%"));

        QSignalSpy edited(slider.get(), &ValueSlider::valueEdited);
        QAccessibleActionInterface* actions = element->actionInterface();
        QVERIFY(actions);
        QVERIFY(actions->actionNames().contains(QAccessibleActionInterface::increaseAction()));
        actions->doAction(QAccessibleActionInterface::increaseAction());
        QVERIFY(std::abs(slider->value() - (0.8 + 1.5 / 40)) < tolerance);
        actions->doAction(QAccessibleActionInterface::decreaseAction());
        actions->doAction(QAccessibleActionInterface::decreaseAction());
        QVERIFY(std::abs(slider->value() - (0.8 - 1.5 / 40)) < tolerance);
        QCOMPARE(edited.size(), 3);

        QAccessibleValueInterface* value = element->valueInterface();
        QVERIFY(value);
        QCOMPARE(value->maximumValue().toDouble(), 1.5);
        value->setCurrentValue(9.0);
        QCOMPARE(slider->value(), 1.5);
        QCOMPARE(element->text(QAccessible::Value), QStringLiteral("150%"));
    }

    // Values set by the owner.

    void settingTheValueEmitsNothingAndKeepsItsText()
    {
        auto slider = makeSlider();
        QSignalSpy edited(slider.get(), &ValueSlider::valueEdited);
        slider->setValue(1.2);
        QCOMPARE(slider->value(), 1.2);
        QCOMPARE(slider->valueText(), QStringLiteral("120%"));
        // A value from elsewhere beyond the range is shown as it is; only the knob is pinned.
        slider->setValue(2.0);
        QCOMPARE(slider->valueText(), QStringLiteral("200%"));
        QCOMPARE(edited.size(), 0);
    }

    // Value texts.

    void valueTexts_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("percent 0") << "percent" << 0.0 << "0%";
        QTest::newRow("percent 0.333") << "percent" << 0.333 << "33%";
        QTest::newRow("percent 1.5") << "percent" << 1.5 << "150%";
        QTest::newRow("signed 0") << "signed" << 0.0 << "0";
        QTest::newRow("signed below half a unit") << "signed" << 0.004 << "0";
        QTest::newRow("signed half a unit rounds up") << "signed" << 0.005 << "+1";
        QTest::newRow("signed 0.01") << "signed" << 0.01 << "+1";
        QTest::newRow("signed 1") << "signed" << 1.0 << "+100";
        QTest::newRow("signed tiny negative") << "signed" << -0.004 << "0";
        QTest::newRow("signed -0.25") << "signed" << -0.25 << "-25";
        QTest::newRow("smoothing 0") << "smoothing" << 0.0 << "Fine";
        QTest::newRow("smoothing just below 0.34") << "smoothing" << 0.3399 << "Fine";
        QTest::newRow("smoothing 0.34") << "smoothing" << 0.34 << "Balanced";
        QTest::newRow("smoothing just below 0.67") << "smoothing" << 0.6699 << "Balanced";
        QTest::newRow("smoothing 0.67") << "smoothing" << 0.67 << "Smooth";
        QTest::newRow("smoothing 1") << "smoothing" << 1.0 << "Smooth";
    }

    void valueTexts()
    {
        QFETCH(QString, kind);
        QFETCH(double, value);
        QFETCH(QString, text);
        const QString shown = kind == "percent"  ? ValueSlider::percentText(value)
                              : kind == "signed" ? FineTuneControls::signedText(value)
                                                 : Smoothing::text(value);
        QCOMPARE(shown, text);
    }

    void customFormatReplacesThePercentText()
    {
        auto slider = makeSlider(-1, 1, 0);
        slider->setFormat(FineTuneControls::signedText);
        slider->setValue(0.42);
        QCOMPARE(slider->valueText(), QStringLiteral("+42"));
        slider->setFormat({});
        QCOMPARE(slider->valueText(), QStringLiteral("42%"));
    }

    // The logarithmic smoothing scale.

    void smoothingScaleMapsBothWays()
    {
        QVERIFY(std::abs(Smoothing::position(0.02) - 0.48204685) < 1e-8);
        QVERIFY(std::abs(Smoothing::smoothness(0.48204685) - 0.02) < 1e-9);
        QVERIFY(std::abs(Smoothing::position(0.001)) < tolerance);
        QVERIFY(std::abs(Smoothing::position(0.5) - 1.0) < tolerance);
        QVERIFY(std::abs(Smoothing::smoothness(0.0) - 0.001) < tolerance);
        QVERIFY(std::abs(Smoothing::smoothness(1.0) - 0.5) < tolerance);
        for (double p = 0; p <= 1; p += 0.125)
            QVERIFY(std::abs(Smoothing::position(Smoothing::smoothness(p)) - p) < 1e-12);
    }
};

QTEST_MAIN(ValueSliderTests)
#include "ValueSliderTests.moc"
