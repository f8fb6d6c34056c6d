#include "StatusLine.hpp"

#include <QTest>

using namespace lumivert;

class StatusLineTests : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void neutralAnalysisIsANearNeutralLook()
    {
        QCOMPARE(StatusLine::look(LookAnalysis::neutral()), QStringLiteral("A near-neutral look"));
    }

    void lookPhrasesFollowTheirThresholdsInOrder_data()
    {
        QTest::addColumn<float>("black");
        QTest::addColumn<float>("white");
        QTest::addColumn<float>("contrast");
        QTest::addColumn<float>("saturation");
        QTest::addColumn<float>("tintA");
        QTest::addColumn<QString>("expected");
        QTest::newRow("lifted and muted") << 0.03f << 1.0f << 1.02f << 0.5f << 0.0f
                                          << QStringLiteral("Look: blacks lifted, muted colour");
        QTest::newRow("edges are not phrases")
            << 0.02f << 0.97f << 1.04f << 0.85f << 0.008f << QStringLiteral("A near-neutral look");
        QTest::newRow("everything")
            << 0.1f << 0.9f << 1.1f << 0.2f << 0.01f
            << QStringLiteral(
                   "Look: blacks lifted, soft highlights, more contrast, monochrome, colour cast");
        QTest::newRow("less contrast")
            << 0.0f << 1.0f << 0.95f << 1.0f << 0.0f << QStringLiteral("Look: less contrast");
        QTest::newRow("rich colour")
            << 0.0f << 1.0f << 1.0f << 1.2f << 0.0f << QStringLiteral("Look: rich colour");
    }

    void lookPhrasesFollowTheirThresholdsInOrder()
    {
        QFETCH(float, black);
        QFETCH(float, white);
        QFETCH(float, contrast);
        QFETCH(float, saturation);
        QFETCH(float, tintA);
        QFETCH(QString, expected);
        LookAnalysis analysis;
        analysis.blackLevel = black;
        analysis.whiteLevel = white;
        analysis.contrast = contrast;
        analysis.saturation = saturation;
        analysis.tints[7] = Chroma{tintA, 0};
        QCOMPARE(StatusLine::look(analysis), expected);
    }

    void castIsTheLengthOfTheLargestTint()
    {
        LookAnalysis analysis;
        analysis.tints[0] = Chroma{0.006f, 0.006f};  // length 0.0085
        QCOMPARE(StatusLine::look(analysis), QStringLiteral("Look: colour cast"));
    }

    void editVerdictEdges_data()
    {
        QTest::addColumn<float>("rms");
        QTest::addColumn<QString>("expected");
        QTest::newRow("1.49") << 1.49f << QStringLiteral("Fit error 1.5 levels (excellent)");
        QTest::newRow("1.5") << 1.5f << QStringLiteral("Fit error 1.5 levels (good)");
        QTest::newRow("3") << 3.0f << QStringLiteral("Fit error 3.0 levels (fair)");
        QTest::newRow("6") << 6.0f
                           << QStringLiteral("Fit error 6.0 levels (poor: local edits or a "
                                             "different crop cannot be captured by a LUT)");
    }

    void editVerdictEdges()
    {
        QFETCH(float, rms);
        QFETCH(QString, expected);
        QCOMPARE(StatusLine::edit(rms), expected);
    }

    void matchAndHaldLines()
    {
        QCOMPARE(StatusLine::match(QStringLiteral("Mine"), QStringLiteral("Theirs")),
                 QStringLiteral("Matching “Mine” to “Theirs”"));
        QCOMPARE(StatusLine::hald(64), QStringLiteral("HALD level 8 · 64-point cube"));
        QCOMPARE(StatusLine::hald(144), QStringLiteral("HALD level 12 · 144-point cube"));
    }
};

QTEST_GUILESS_MAIN(StatusLineTests)
#include "StatusLineTests.moc"
