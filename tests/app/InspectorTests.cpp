#include "AppModel.hpp"
#include "Card.hpp"
#include "ExportPanel.hpp"
#include "FineTuneControls.hpp"
#include "InspectorView.hpp"
#include "ModeControls.hpp"
#include "ModelFixtures.hpp"
#include "Presentation.hpp"
#include "Theme.hpp"
#include "ValueSlider.hpp"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTest>
#include <QToolButton>

#include <memory>

using namespace lumivert;
using fixtures::ModelHarness;
using fixtures::waitUntilIdle;

namespace {

constexpr int jobTimeoutMs = 60000;
// Long enough for the 120 ms smoothness debounce to have fired had anything been requested.
constexpr int quietMs = 500;

// A model of its own and the inspector over it, with a stand-in for the analysis figures.
struct Inspector {
    ModelHarness harness;
    std::unique_ptr<AppModel> model = harness.makeModel();
    QLabel* figures = new QLabel(QStringLiteral("figures"));
    std::unique_ptr<InspectorView> view = std::make_unique<InspectorView>(*model, figures);

    ModeControls& modeControls() const { return *view->modeControls(); }
    ExportPanel& exportPanel() const { return *view->exportPanel(); }
    ValueSlider& slider(const QString& title) const
    {
        ValueSlider* found = modeControls().slider(title);
        if (!found)
            qFatal("no slider %s", qPrintable(title));
        return *found;
    }
};

QStringList sliderTitles(const ModeControls& controls)
{
    QStringList titles;
    for (const ValueSlider* slider : controls.sliders())
        titles << slider->title();
    return titles;
}

QString formatsText(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

class InspectorTests : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Cards.

    void fourCardsInOrderWithTheirTitlesAndSymbols()
    {
        Inspector inspector;
        const std::vector<Card*>& cards = inspector.view->cards();
        QCOMPARE(cards.size(), std::size_t{4});
        const QStringList ids{"mode", "analysis", "finetune", "export"};
        const QStringList titles{"Look", "Analysis", "Fine tune", "Export"};
        const QStringList symbols{"camera.filters", "chart.xyaxis.line", "slider.horizontal.3",
                                  "square.and.arrow.up"};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(cards[i]->identifier(), ids[i]);
            QCOMPARE(cards[i]->title(), titles[i]);
            QCOMPARE(cards[i]->symbol(), symbols[i]);
            QCOMPARE(inspector.view->card(ids[i]), cards[i]);
        }
        QVERIFY(!inspector.view->card(QStringLiteral("nothing")));
        QCOMPARE(inspector.view->card("analysis")->content(), inspector.figures);
        QCOMPARE(inspector.view->card("finetune")->trailing(),
                 inspector.view->fineTuneControls()->resetButton());
        QVERIFY(!inspector.view->card("mode")->trailing());
    }

    // Mode controls.

    void modeCardShowsTheModesSliders_data()
    {
        QTest::addColumn<Mode>("mode");
        QTest::addColumn<QStringList>("titles");
        QTest::newRow("look") << Mode::look
                              << QStringList{"Tone", "Colour cast", "Colourfulness", "Palette",
                                             "Intensity"};
        QTest::newRow("match") << Mode::match << QStringList{"Tone", "Colour", "Intensity"};
        QTest::newRow("edit") << Mode::edit << QStringList{"Smoothing", "Intensity"};
        QTest::newRow("hald") << Mode::hald << QStringList{"Intensity"};
    }

    void modeCardShowsTheModesSliders()
    {
        QFETCH(Mode, mode);
        QFETCH(QStringList, titles);
        Inspector inspector;
        inspector.model->setMode(mode);
        QCOMPARE(sliderTitles(inspector.modeControls()), titles);
        QCOMPARE(inspector.modeControls().findChildren<ValueSlider*>().size(), titles.size());
        const Card* card = inspector.view->card(QStringLiteral("mode"));
        QCOMPARE(card->title(), Modes::title(mode));
        QCOMPARE(card->symbol(), Presentation::modeSymbol(mode));
    }

    void slidersCarryTheirRangesDefaultsAndHelp()
    {
        Inspector inspector;
        const ValueSlider& palette = inspector.slider(QStringLiteral("Palette"));
        QCOMPARE(palette.upperBound(), GradeRecipe::strengthRange.upper);
        // The slider resets to exactly the value a fresh look setting holds.
        QCOMPARE(static_cast<float>(palette.defaultValue()), LookSettings{}.palette);
        QCOMPARE(palette.help(), QStringLiteral("Pulls hues towards the photo’s dominant colours"));
        QVERIFY(inspector.slider(QStringLiteral("Intensity")).help().isEmpty());
        inspector.model->setMode(Mode::edit);
        const ValueSlider& smoothing = inspector.slider(QStringLiteral("Smoothing"));
        QCOMPARE(smoothing.upperBound(), 1.0);
        QVERIFY(std::abs(smoothing.defaultValue() - 0.48204685) < 1e-8);
        QVERIFY(std::abs(smoothing.value() - 0.48204685) < 1e-8);
        QCOMPARE(smoothing.valueText(), QStringLiteral("Balanced"));
    }

    void sliderEditsReachTheModel()
    {
        Inspector inspector;
        QSignalSpy look(inspector.model.get(), &AppModel::settingsChanged);
        inspector.slider(QStringLiteral("Colour cast")).edit(0.25);
        QCOMPARE(look.size(), 1);
        QCOMPARE(inspector.model->settings().look, (LookSettings{0.8f, 0.25f, 0.7f, 0.4f}));
        inspector.slider(QStringLiteral("Intensity")).edit(0.6);
        QCOMPARE(inspector.model->settings().intensity, 0.6f);

        inspector.model->setMode(Mode::match);
        inspector.slider(QStringLiteral("Colour")).edit(1.4);
        QCOMPARE(inspector.model->settings().match, (MatchSettings{1.0f, 1.4f}));
        // The intensity slider of the new mode starts from the model's value.
        QCOMPARE(inspector.slider(QStringLiteral("Intensity")).value(), double(0.6f));
    }

    void modelChangesReachTheSliders()
    {
        Inspector inspector;
        fixtures::adjust(*inspector.model, [&](GradeRecipe::Settings& s) {
            s.look = LookSettings{0.1f, 0.2f, 0.3f, 1.5f};
        });
        QCOMPARE(inspector.slider(QStringLiteral("Tone")).value(), double(0.1f));
        QCOMPARE(inspector.slider(QStringLiteral("Palette")).valueText(), QStringLiteral("150%"));
        fixtures::adjust(*inspector.model,
                         [&](GradeRecipe::Settings& s) { s.intensity = static_cast<float>(0.35); });
        QCOMPARE(inspector.slider(QStringLiteral("Intensity")).value(), double(0.35f));

        inspector.model->setMode(Mode::edit);
        fixtures::adjust(*inspector.model, [&](GradeRecipe::Settings& s) {
            s.smoothing = static_cast<float>(0.001);
        });
        // The stored smoothness is a float: its position is 0 within the float's precision.
        QVERIFY(std::abs(inspector.slider(QStringLiteral("Smoothing")).value()) < 1e-6);
        QCOMPARE(inspector.slider(QStringLiteral("Smoothing")).valueText(), QStringLiteral("Fine"));
        inspector.model->resetAdjustments();
        QVERIFY(std::abs(inspector.slider(QStringLiteral("Smoothing")).value() - 0.48204685) <
                1e-8);
        QCOMPARE(inspector.slider(QStringLiteral("Intensity")).value(), 1.0);
    }

    void smoothingSliderWritesTheLogarithmicSmoothness()
    {
        Inspector inspector;
        inspector.model->setMode(Mode::edit);
        ValueSlider& smoothing = inspector.slider(QStringLiteral("Smoothing"));
        smoothing.edit(1.0);
        QCOMPARE(inspector.model->settings().smoothing, 0.5f);
        QCOMPARE(smoothing.valueText(), QStringLiteral("Smooth"));
        smoothing.edit(0.0);
        QCOMPARE(inspector.model->settings().smoothing, 0.001f);
    }

    void extendSwitchRefitsTheEditAndIsRemembered()
    {
        Inspector inspector;
        AppModel& model = *inspector.model;
        QVERIFY(!inspector.modeControls().extendSwitch());
        model.setMode(Mode::edit);
        QCheckBox* extend = inspector.modeControls().extendSwitch();
        QVERIFY(extend);
        QCOMPARE(extend->text(), QStringLiteral("Extend to colours not in the photos"));
        QVERIFY(!extend->isChecked());
        model.load(inspector.harness.writePhoto(QStringLiteral("Plain")), Slot::editBefore);
        model.load(inspector.harness.writePhoto(QStringLiteral("Warm"), {1, 0.85f, 0.7f}),
                   Slot::editAfter);
        QVERIFY(waitUntilIdle(model));
        QVERIFY(!model.editFit()->followsOverallEdit);
        const LUT3D plain = model.editFit()->lut;

        extend->setChecked(true);
        QVERIFY(model.settings().extendEdit);
        QVERIFY(waitUntilIdle(model));
        QVERIFY(model.editFit()->followsOverallEdit);
        QVERIFY(!(model.editFit()->lut == plain));
        QCOMPARE(inspector.harness.settings().value("extendEdit").toBool(), true);

        auto reopened = inspector.harness.makeModel();
        QVERIFY(reopened->settings().extendEdit);
        fixtures::adjust(model, [&](GradeRecipe::Settings& s) { s.extendEdit = false; });
        QVERIFY(!extend->isChecked());
    }

    void smoothingThatWouldNotChangeIsNotStoredAgain()
    {
        Inspector inspector;
        AppModel& model = *inspector.model;
        model.setMode(Mode::edit);
        model.load(inspector.harness.writePhoto(QStringLiteral("Plain")), Slot::editBefore);
        model.load(inspector.harness.writePhoto(QStringLiteral("Warm"), {1, 0.85f, 0.7f}),
                   Slot::editAfter);
        QVERIFY(waitUntilIdle(model));
        QVERIFY(model.editFit().has_value());
        inspector.view->resize(340, 900);
        inspector.view->show();
        QVERIFY(QTest::qWaitForWindowExposed(inspector.view.get()));

        ValueSlider& smoothing = inspector.slider(QStringLiteral("Smoothing"));
        QSignalSpy stored(&model, &AppModel::settingsChanged);
        QSignalSpy fits(&model, &AppModel::editFitChanged);
        // At the default already: the reset position maps to the stored 0.02.
        QTest::mouseDClick(&smoothing, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseRelease(&smoothing, Qt::LeftButton, {}, QPoint(5, 5));
        QVERIFY(!fits.wait(quietMs));
        QCOMPARE(stored.size(), 0);
        QCOMPARE(model.settings().smoothing,
                 static_cast<float>(GradeRecipe::smoothingRange.defaultValue));

        // A real change re-solves once; the same position again is skipped.
        smoothing.setFocus();
        QTest::keyClick(&smoothing, Qt::Key_End);
        QCOMPARE(stored.size(), 1);
        QVERIFY(fits.wait(jobTimeoutMs));
        QVERIFY(waitUntilIdle(model));
        const qsizetype fitsAfterChange = fits.size();
        QTest::keyClick(&smoothing, Qt::Key_End);
        QVERIFY(!fits.wait(quietMs));
        QCOMPARE(stored.size(), 1);
        QCOMPARE(fits.size(), fitsAfterChange);
    }

    // Fine tune.

    void fineTuneSlidersEditOneFieldEach()
    {
        Inspector inspector;
        const auto& sliders = inspector.view->fineTuneControls()->sliders();
        QStringList titles;
        for (const ValueSlider* slider : sliders)
            titles << slider->title();
        QCOMPARE(titles, (QStringList{"Temperature", "Tint", "Contrast", "Saturation"}));
        QCOMPARE(sliders[0]->gradient().size(), std::size_t{2});
        QCOMPARE(sliders[0]->gradient().front(), QColor::fromRgbF(0.35f, 0.55f, 0.95f));
        QVERIFY(sliders[2]->gradient().empty());
        QCOMPARE(sliders[3]->gradient().front(), QColor::fromRgbF(0.55f, 0.55f, 0.55f));
        QCOMPARE(sliders[1]->lowerBound(), -1.0);

        QSignalSpy changed(inspector.model.get(), &AppModel::settingsChanged);
        sliders[0]->edit(0.5);
        sliders[3]->edit(-0.25);
        QCOMPARE(changed.size(), 2);
        QCOMPARE(inspector.model->settings().fineTune, (FineTune{0.5f, 0, 0, -0.25f}));
        QCOMPARE(sliders[0]->valueText(), QStringLiteral("+50"));
        QCOMPARE(sliders[3]->valueText(), QStringLiteral("-25"));

        fixtures::adjust(*inspector.model, [&](GradeRecipe::Settings& s) {
            s.fineTune = FineTune{0, 0.3f, -1, 0};
        });
        QCOMPARE(sliders[0]->value(), 0.0);
        QCOMPARE(sliders[1]->valueText(), QStringLiteral("+30"));
        QCOMPARE(sliders[2]->value(), -1.0);
    }

    void resetButtonZeroesTheFineTune()
    {
        Inspector inspector;
        fixtures::adjust(*inspector.model, [&](GradeRecipe::Settings& s) {
            s.fineTune = FineTune{0.2f, -0.4f, 0.6f, 1};
        });
        QToolButton* reset = inspector.view->fineTuneControls()->resetButton();
        QCOMPARE(reset->text(), QStringLiteral("Reset"));
        QSignalSpy changed(inspector.model.get(), &AppModel::settingsChanged);
        QTest::mouseClick(reset, Qt::LeftButton);
        QCOMPARE(changed.size(), 1);
        QVERIFY(inspector.model->settings().fineTune.isNeutral());
        for (const ValueSlider* slider : inspector.view->fineTuneControls()->sliders())
            QCOMPARE(slider->valueText(), QStringLiteral("0"));
    }

    void highlightSafeSwitchIsStoredAndShownForLooksAndMatchesOnly()
    {
        Inspector inspector;
        QCheckBox* safe = inspector.view->fineTuneControls()->highlightSafe();
        QCOMPARE(safe->text(), QStringLiteral("Highlight-safe colour"));
        QVERIFY(!safe->isChecked());
        QVERIFY(!safe->isHidden());
        QSignalSpy changed(inspector.model.get(), &AppModel::settingsChanged);
        safe->click();
        QCOMPARE(changed.size(), 1);
        QCOMPARE(inspector.model->settings().gamut, GamutMapping::smooth);
        QCOMPARE(inspector.harness.settings().value("gamutMapping").toString(),
                 QStringLiteral("smooth"));
        inspector.model->setMode(Mode::edit);
        QVERIFY(safe->isHidden());
        inspector.model->setMode(Mode::match);
        QVERIFY(!safe->isHidden());
        // The next window starts with the stored choice; an unknown stored name is ignored.
        QCOMPARE(inspector.harness.makeModel()->settings().gamut, GamutMapping::smooth);
        inspector.harness.settings().setValue("gamutMapping", "Smooth");
        QCOMPARE(inspector.harness.makeModel()->settings().gamut, GamutMapping::preserveLightness);
        fixtures::adjust(*inspector.model, [&](GradeRecipe::Settings& s) {
            s.gamut = GamutMapping::preserveLightness;
        });
        QVERIFY(!safe->isChecked());
        QCOMPARE(changed.size(), 2);
    }

    // Export.

    void exportDescriptionNamesFormatsAndSize_data()
    {
        QTest::addColumn<ExportChoice>("choice");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QString>("text");
        const QString cube = formatsText(LUTFormat(LUTFormat::cube).compatibility());
        const QString threeDL = formatsText(LUTFormat(LUTFormat::threeDL).compatibility());
        const QString hald = formatsText(LUTFormat(LUTFormat::hald).compatibility());
        QTest::newRow("cube 33")
            << ExportChoice::cube << qint64{33}
            << "Works in Photoshop, Lightroom profiles, Premiere, After Effects, DaVinci Resolve, "
               "Final Cut Pro, Affinity Photo, Pixelmator Pro, Capture One. Saves a 33-point cube.";
        QTest::newRow("3dl 17") << ExportChoice::threeDL << qint64{17}
                                << "Works in " + threeDL + ". Saves a 17-point cube.";
        QTest::newRow("hald 33") << ExportChoice::hald << qint64{33}
                                 << "Works in " + hald + ". Saves a 64-point cube.";
        QTest::newRow("hald 17") << ExportChoice::hald << qint64{17}
                                 << "Works in " + hald + ". Saves a 64-point cube.";
        QTest::newRow("hald 65") << ExportChoice::hald << qint64{65}
                                 << "Works in " + hald + ". Saves a 64-point cube.";
        QTest::newRow("all 65") << ExportChoice::all << qint64{65}
                                << "Writes .cube, .3dl and HALD .png files (a 65-point cube for "
                                   ".cube and .3dl).";
        QTest::newRow("cube 20") << ExportChoice::cube << qint64{20}
                                 << "Works in " + cube + ". Saves a 20-point cube.";
        QTest::newRow("icc 33") << ExportChoice::icc << qint64{33}
                                << "Works in " +
                                       formatsText(LUTFormat(LUTFormat::icc).compatibility()) +
                                       ". Saves a 33-point cube.";
    }

    void exportDescriptionNamesFormatsAndSize()
    {
        QFETCH(ExportChoice, choice);
        QFETCH(qint64, size);
        QFETCH(QString, text);
        QCOMPARE(exportDescription(choice, size), text);
    }

    void formatPickerFollowsAndSetsTheChoice()
    {
        Inspector inspector;
        QComboBox* picker = inspector.exportPanel().formatPicker();
        // The three formats and all of them; a separator, then the others under a heading.
        QStringList items;
        for (int i = 0; i < picker->count(); ++i)
            items << picker->itemText(i);
        QCOMPARE(items, (QStringList{".cube", ".3dl", "HALD .png", "All three formats", "",
                                     "More formats", ".clf", ".csp", ".spi3d", "ICC device link"}));
        QVERIFY(!picker->itemIcon(3).isNull());
        const auto* rows = qobject_cast<QStandardItemModel*>(picker->model());
        QVERIFY(rows && !rows->item(5)->isEnabled() && rows->item(6)->isEnabled());
        QCOMPARE(picker->currentText(), QStringLiteral(".cube"));

        inspector.model->setExportChoice(ExportChoice::all);
        QCOMPARE(picker->currentText(), QStringLiteral("All three formats"));
        QCOMPARE(inspector.exportPanel().description()->text(),
                 exportDescription(ExportChoice::all, 33));

        picker->setCurrentIndex(2);
        Q_EMIT picker->activated(2);
        QCOMPARE(inspector.model->exportChoice(), ExportChoice::hald);
        QCOMPARE(inspector.harness.settings().value("exportChoice").toString(),
                 QStringLiteral("hald"));
        QCOMPARE(inspector.exportPanel().description()->text(),
                 exportDescription(ExportChoice::hald, 33));

        Q_EMIT picker->activated(9);
        QCOMPARE(inspector.model->exportChoice(), ExportChoice::icc);
        QCOMPARE(inspector.harness.settings().value("exportChoice").toString(),
                 QStringLiteral("icc"));
        inspector.model->setExportChoice(ExportChoice::clf);
        QCOMPARE(picker->currentText(), QStringLiteral(".clf"));
    }

    void gridPickerFollowsAndSetsTheSize()
    {
        Inspector inspector;
        const auto& buttons = inspector.exportPanel().gridButtons();
        QVERIFY(buttons[1]->isChecked());
        QCOMPARE(buttons[1]->parentWidget()->width(), 150);
        QTest::mouseClick(buttons[0], Qt::LeftButton);
        QCOMPARE(inspector.model->exportSize(), 17);
        QVERIFY(buttons[0]->isChecked() && !buttons[1]->isChecked());
        QVERIFY(inspector.exportPanel().description()->text().contains("a 17-point cube"));

        inspector.model->setExportSize(65);
        QVERIFY(buttons[2]->isChecked() && !buttons[0]->isChecked());

        // A size the picker does not offer leaves every segment unchecked.
        inspector.model->setExportSize(20);
        for (QToolButton* button : buttons)
            QVERIFY(!button->isChecked());
        QVERIFY(inspector.exportPanel().description()->text().contains("a 20-point cube"));
        QTest::mouseClick(buttons[1], Qt::LeftButton);
        QCOMPARE(inspector.model->exportSize(), 33);
        QVERIFY(buttons[1]->isChecked());
    }

    void nameFieldRoundTripsWithTheModel()
    {
        Inspector inspector;
        QLineEdit* field = inspector.exportPanel().nameField();
        QCOMPARE(field->placeholderText(), QStringLiteral("LUT name"));
        QTest::keyClicks(field, QStringLiteral("Dusk"));
        QCOMPARE(inspector.model->lutName(), QStringLiteral("Dusk"));

        // The echo of the user's own text leaves the cursor where the user put it.
        field->setCursorPosition(1);
        QTest::keyClicks(field, QStringLiteral("x"));
        QCOMPARE(inspector.model->lutName(), QStringLiteral("Dxusk"));
        QCOMPARE(field->cursorPosition(), 2);

        inspector.model->setLutName(QStringLiteral("Golden Hour Look"));
        QCOMPARE(field->text(), QStringLiteral("Golden Hour Look"));

        // The user clears the field: the model's next automatic name shows up.
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Backspace);
        QVERIFY(inspector.model->lutName().isEmpty());
        inspector.model->applyAutoName(QStringLiteral("Beach Look"));
        QCOMPARE(field->text(), QStringLiteral("Beach Look"));
    }

    void exportButtonCallsTheModel()
    {
        Inspector inspector;
        QPushButton* button = inspector.exportPanel().exportButton();
        QCOMPARE(button->text(), QStringLiteral("Export LUT…"));
        QVERIFY(button->shortcut().isEmpty());

        // Nothing to export yet: the button is disabled, Enter in the name does nothing.
        QVERIFY(!button->isEnabled());
        QTest::keyClick(inspector.exportPanel().nameField(), Qt::Key_Return);
        QVERIFY(inspector.harness.panels().saveRequests.empty());
        // White on the prominent fill reads at better than 4.5:1.
        QVERIFY(Theme::contrastRatio(Theme::prominentFill(), Qt::white) >= 4.5);
        QCOMPARE(Theme::contrastRatio(Qt::black, Qt::white), 21.0);

        // With a fine tune there is something to export: the save panel is asked (and cancelled).
        fixtures::adjust(*inspector.model, [&](GradeRecipe::Settings& s) {
            s.fineTune = FineTune{0.3f, 0, 0, 0};
        });
        QVERIFY(button->isEnabled());
        inspector.model->setLutName(QStringLiteral("Warm"));
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(inspector.harness.panels().saveRequests.size(), std::size_t{1});
        QCOMPARE(inspector.harness.panels().saveRequests.front().proposedName,
                 QStringLiteral("Warm.cube"));
        // Enter in the name exports as well; Ctrl+E there is left to the window's shortcut
        // rather than taken as the line edit's end of line.
        QLineEdit* field = inspector.exportPanel().nameField();
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(inspector.harness.panels().saveRequests.size(), std::size_t{2});
        QKeyEvent exportKey(QEvent::ShortcutOverride, Qt::Key_E, Qt::ControlModifier);
        exportKey.ignore();
        QApplication::sendEvent(field, &exportKey);
        QVERIFY(!exportKey.isAccepted());
        QKeyEvent selectAll(QEvent::ShortcutOverride, Qt::Key_A, Qt::ControlModifier);
        selectAll.ignore();
        QApplication::sendEvent(field, &selectAll);
        QVERIFY(selectAll.isAccepted());
    }

    void photoshopNoteOpensAndCloses()
    {
        Inspector inspector;
        inspector.view->show();
        QToolButton* toggle = inspector.exportPanel().photoshopToggle();
        QLabel* note = inspector.exportPanel().photoshopNote();
        QCOMPARE(toggle->text(), QStringLiteral("Using it in Photoshop"));
        QCOMPARE(note->text(),
                 QStringLiteral("Layer › New Adjustment Layer › Color Lookup. In the Properties "
                                "panel choose 3DLUT File › Load 3D LUT… and pick the .cube or "
                                ".3dl file. Lower the layer’s opacity to weaken the look."));
        QVERIFY(!note->isVisible());
        QTest::mouseClick(toggle, Qt::LeftButton);
        QVERIFY(note->isVisible());
        QTest::mouseClick(toggle, Qt::LeftButton);
        QVERIFY(!note->isVisible());
    }

    void gridPickerIsDisabledForHaldWithTheReason()
    {
        Inspector inspector;
        QWidget* grid = inspector.exportPanel().gridPicker();
        for (ExportChoice choice : ExportChoices::allCases()) {
            inspector.model->setExportChoice(choice);
            const bool applies = choice != ExportChoice::hald;
            QCOMPARE(grid->isEnabled(), applies);
            for (QToolButton* button : inspector.exportPanel().gridButtons()) {
                QCOMPARE(button->isEnabled(), applies);
                QCOMPARE(button->toolTip().contains(QStringLiteral("HALD")), !applies);
            }
        }
        inspector.model->setExportChoice(ExportChoice::hald);
        QCOMPARE(grid->toolTip(), QStringLiteral("A HALD image always holds a 64-point cube; the "
                                                 "grid applies to .cube and .3dl files."));
    }

    void linuxHelpDisclosuresOpenAndClose()
    {
        Inspector inspector;
        inspector.view->show();
        const auto& toggles = inspector.exportPanel().helpToggles();
        const auto& notes = inspector.exportPanel().helpNotes();
        QStringList titles;
        for (QToolButton* toggle : toggles)
            titles << toggle->text();
        QCOMPARE(titles,
                 (QStringList{"Using it in Photoshop", "Using it in darktable",
                              "Using it in GIMP with G’MIC", "Using it in RawTherapee",
                              "Using it with ffmpeg", "Using it in DaVinci Resolve on Linux"}));
        QVERIFY(notes[1]->text().contains(QStringLiteral("lut 3D")));
        QVERIFY(notes[3]->text().contains(QStringLiteral("HALD")));
        QVERIFY(notes[4]->text().contains(QStringLiteral("lut3d")));
        QVERIFY(notes[4]->text().contains(QStringLiteral("17")));
        QVERIFY(notes[5]->text().contains(QStringLiteral("LUT Folder")));
        for (std::size_t i = 0; i < toggles.size(); ++i) {
            QTest::mouseClick(toggles[i], Qt::LeftButton);
            for (std::size_t j = 0; j < notes.size(); ++j)
                QCOMPARE(notes[j]->isVisible(), i == j);
            QTest::mouseClick(toggles[i], Qt::LeftButton);
            QVERIFY(!notes[i]->isVisible());
        }
    }

    // Scrolling to a card.

    void scrollsToTheTargetCard()
    {
        Inspector inspector;
        inspector.view->resize(340, 320);
        inspector.view->show();
        QVERIFY(QTest::qWaitForWindowExposed(inspector.view.get()));
        QScrollBar* bar = inspector.view->verticalScrollBar();
        QCOMPARE(bar->value(), 0);
        QVERIFY(bar->maximum() > 0);

        inspector.model->setInspectorTarget(QStringLiteral("export"));
        const Card* exportCard = inspector.view->card(QStringLiteral("export"));
        QTRY_VERIFY(bar->value() > 0 &&
                    bar->value() == inspector.view->scrollTargetFor(*exportCard));
        // The card's top is in view, and all of it when it fits.
        const int visible = inspector.view->viewport()->height();
        QVERIFY(exportCard->y() >= bar->value());
        if (exportCard->height() < visible)
            QVERIFY(exportCard->y() + exportCard->height() <= bar->value() + visible);

        inspector.model->setInspectorTarget(QStringLiteral("mode"));
        QTRY_COMPARE(bar->value(), 0);
    }

    void scrollsToTheTargetOnFirstShow()
    {
        Inspector inspector;
        inspector.model->setInspectorTarget(QStringLiteral("finetune"));
        inspector.view->resize(340, 260);
        inspector.view->show();
        QVERIFY(QTest::qWaitForWindowExposed(inspector.view.get()));
        const Card* card = inspector.view->card(QStringLiteral("finetune"));
        QTRY_VERIFY(inspector.view->verticalScrollBar()->value() > 0);
        QTRY_COMPARE(inspector.view->verticalScrollBar()->value(),
                     inspector.view->scrollTargetFor(*card));
    }
};

QTEST_MAIN(InspectorTests)
#include "InspectorTests.moc"
