// The window as assistive technology reads it: in every mode, with its inputs loaded and in
// every compare style, each control that takes the focus has a name and a description.
#include "AnalysisPanel.hpp"
#include "Commands.hpp"
#include "ContentView.hpp"
#include "InspectorView.hpp"
#include "ModelFixtures.hpp"
#include "PreviewPane.hpp"
#include "SidebarView.hpp"

#include <QAccessible>
#include <QTest>

using namespace lumivert;
using fixtures::ModelHarness;
using fixtures::waitUntilIdle;

namespace {

constexpr int jobTimeoutMs = 60000;
// Deeper than any window of ours; a cycle in the tree would stop here.
constexpr int maximumDepth = 64;

// Every focusable, visible element under `element` that lacks a name or a description.
void collectUnnamed(QAccessibleInterface* element, int depth, QStringList& unnamed)
{
    if (!element || !element->isValid() || depth > maximumDepth)
        return;
    const QAccessible::State state = element->state();
    if (state.focusable && !state.invisible) {
        const QObject* object = element->object();
        const QString what = QStringLiteral("%1 \"%2\"")
                                 .arg(object ? QString::fromUtf8(object->metaObject()->className())
                                             : QStringLiteral("?"),
                                      element->text(QAccessible::Name));
        if (element->text(QAccessible::Name).trimmed().isEmpty())
            unnamed << what + QStringLiteral(" has no name");
        if (element->text(QAccessible::Description).trimmed().isEmpty())
            unnamed << what + QStringLiteral(" has no description");
    }
    for (int index = 0; index < element->childCount(); ++index)
        collectUnnamed(element->child(index), depth + 1, unnamed);
}

}  // namespace

class AccessibilityTests : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void everyFocusableControlHasANameAndADescription_data()
    {
        QTest::addColumn<Mode>("mode");
        for (Mode mode : Modes::allCases())
            QTest::newRow(qPrintable(Modes::rawValue(mode))) << mode;
    }

    void everyFocusableControlHasANameAndADescription()
    {
        QFETCH(Mode, mode);
        ModelHarness harness;
        auto model = harness.makeModel();
        model->setMode(mode);
        for (Slot slot : Modes::slots(mode))
            if (slot != Slot::hald)
                model->load(harness.writePhoto(Slots::rawValue(slot)), slot);
        model->load(harness.writePhoto(QStringLiteral("preview")), Slot::preview);
        QVERIFY(waitUntilIdle(*model, jobTimeoutMs));
        ContentView window(*model, {new SidebarView(*model), new PreviewPane(*model),
                                    new InspectorView(*model, new AnalysisPanel(*model))});
        installCommands(window, *model);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        QAccessibleInterface* root = QAccessible::queryAccessibleInterface(&window);
        QVERIFY(root);
        for (CompareStyle style : CompareStyles::allCases()) {
            model->setCompareStyle(style);
            QStringList unnamed;
            collectUnnamed(root, 0, unnamed);
            unnamed.removeDuplicates();
            // One line each: a long failure message would be cut short.
            for (const QString& problem : unnamed)
                qWarning("%s: %s", qPrintable(CompareStyles::rawValue(style)), qPrintable(problem));
            QVERIFY2(unnamed.isEmpty(), qPrintable(CompareStyles::rawValue(style)));
        }
    }
};

QTEST_MAIN(AccessibilityTests)
#include "AccessibilityTests.moc"
