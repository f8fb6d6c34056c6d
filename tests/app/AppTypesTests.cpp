#include "AppTypes.hpp"

#include <QTest>

using namespace lumivert;

class AppTypesTests : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void rawValuesRoundTripForEveryCase()
    {
        for (Slot slot : Slots::allCases())
            QCOMPARE(Slots::fromRawValue(Slots::rawValue(slot)), slot);
        for (Mode mode : Modes::allCases())
            QCOMPARE(Modes::fromRawValue(Modes::rawValue(mode)), mode);
        for (PreviewSource source : PreviewSources::allCases())
            QCOMPARE(PreviewSources::fromRawValue(PreviewSources::rawValue(source)), source);
        for (CompareStyle style : CompareStyles::allCases())
            QCOMPARE(CompareStyles::fromRawValue(CompareStyles::rawValue(style)), style);
        for (ExportChoice choice : ExportChoices::allCases())
            QCOMPARE(ExportChoices::fromRawValue(ExportChoices::rawValue(choice)), choice);
    }

    void unknownRawValuesGiveNothing()
    {
        QVERIFY(!Modes::fromRawValue(QStringLiteral("Look")).has_value());
        QVERIFY(!Modes::fromRawValue(QString()).has_value());
        QVERIFY(!ExportChoices::fromRawValue(QStringLiteral("3dl")).has_value());
        QVERIFY(!PreviewSources::fromRawValue(QStringLiteral("testchart")).has_value());
        QVERIFY(!CompareStyles::fromRawValue(QStringLiteral(" split")).has_value());
        QVERIFY(!Slots::fromRawValue(QStringLiteral("load-hald")).has_value());
    }

    void casesAreListedInDisplayOrder()
    {
        QStringList modes;
        for (Mode mode : Modes::allCases())
            modes << Modes::rawValue(mode) + QLatin1Char('=') + Modes::title(mode);
        QCOMPARE(modes,
                 QStringList({"look=Look", "match=Match", "edit=Before & After", "hald=HALD"}));
        QStringList choices;
        for (ExportChoice choice : ExportChoices::allCases())
            choices << ExportChoices::rawValue(choice);
        QCOMPARE(choices,
                 QStringList({"cube", "threeDL", "hald", "all", "clf", "csp", "spi3d", "icc"}));
        QStringList sources;
        for (PreviewSource source : PreviewSources::allCases())
            sources << PreviewSources::rawValue(source);
        QCOMPARE(sources, QStringList({"input", "testChart", "photo"}));
    }

    void modesListTheirSlotsKeyInputFirst()
    {
        QCOMPARE(Modes::slots(Mode::look), std::vector<Slot>{Slot::lookReference});
        QCOMPARE(Modes::slots(Mode::match),
                 (std::vector<Slot>{Slot::matchSource, Slot::matchReference}));
        QCOMPARE(Modes::slots(Mode::edit), (std::vector<Slot>{Slot::editBefore, Slot::editAfter}));
        QCOMPARE(Modes::slots(Mode::hald), std::vector<Slot>{Slot::hald});
    }

    void slotsHaveTitlesHintsAndLoadKeys_data()
    {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("hint");
        QTest::newRow("look") << "lookReference"
                              << "Look photo"
                              << "The image whose colours you want";
        QTest::newRow("source") << "matchSource"
                                << "Your photo"
                                << "The photo you want to change";
        QTest::newRow("reference") << "matchReference"
                                   << "Reference look"
                                   << "The photo whose look you want";
        QTest::newRow("before") << "editBefore"
                                << "Before"
                                << "The original, unedited photo";
        QTest::newRow("after") << "editAfter"
                               << "After"
                               << "The same photo after your edit";
        QTest::newRow("hald") << "hald"
                              << "Graded HALD"
                              << "A HALD image you graded, e.g. 512 × 512";
        QTest::newRow("preview") << "preview"
                                 << "Preview photo"
                                 << "Optional: see the LUT on another photo";
    }

    void slotsHaveTitlesHintsAndLoadKeys()
    {
        QFETCH(QString, raw);
        QFETCH(QString, title);
        QFETCH(QString, hint);
        const auto slot = Slots::fromRawValue(raw);
        QVERIFY(slot.has_value());
        QCOMPARE(Slots::title(*slot), title);
        QCOMPARE(Slots::hint(*slot), hint);
    }
};

QTEST_GUILESS_MAIN(AppTypesTests)
#include "AppTypesTests.moc"
