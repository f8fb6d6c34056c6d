#include "LatestJob.hpp"
#include "ModelFixtures.hpp"

#include <QSemaphore>
#include <QTest>

#include <atomic>
#include <stdexcept>
#include <vector>

using namespace lumivert;
using fixtures::PoolGate;

namespace {

// One job of integers and what came of it.
struct Record {
    QObject context;
    int inFlight = 0;
    std::vector<int> landed;
    QStringList dropped;

    LatestJob::Options options(std::chrono::milliseconds debounce = {})
    {
        return {debounce, [this](int delta) { inFlight += delta; }};
    }
    LatestJob::Landing<int> land()
    {
        return
            [this](const Outcome<int>& outcome) { landed.push_back(outcome.value.value_or(-1)); };
    }
    LatestJob::Landing<int> drop()
    {
        return [this](const Outcome<int>& outcome) {
            dropped << (outcome.value ? QString::number(*outcome.value) : outcome.error);
        };
    }
};

}  // namespace

class LatestJobTests : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void aJobSupersededBeforeItStartsNeverRuns()
    {
        Record record;
        LatestJob job(&record.context, record.options());
        std::atomic<int> firstRan = 0;
        {
            PoolGate gate;
            job.start(
                [&firstRan] {
                    ++firstRan;
                    return 1;
                },
                record.land());
            job.start([] { return 2; }, record.land());
            QCOMPARE(record.inFlight, 2);
            QVERIFY(job.pending());
        }
        QTRY_COMPARE(record.inFlight, 0);
        QCOMPARE(record.landed, std::vector<int>{2});
        QCOMPARE(firstRan.load(), 0);
        QCOMPARE(job.started(), 2);
        QCOMPARE(job.ran(), 1);
        QVERIFY(!job.pending());
    }

    void theResultOfASupersededRunningJobIsDropped()
    {
        Record record;
        LatestJob job(&record.context, record.options());
        // The first job is held inside its work until the second has been started.
        QSemaphore begun;
        QSemaphore finish;
        job.start(
            [&] {
                begun.release();
                finish.acquire();
                return 1;
            },
            record.land());
        begun.acquire();
        job.start([] { return 2; }, record.land());
        finish.release();
        QTRY_COMPARE(record.inFlight, 0);
        QCOMPARE(record.landed, std::vector<int>{2});
        QCOMPARE(job.ran(), 2);
    }

    void aJobKeptForItsFailureReportsItUnlessCancelled()
    {
        Record record;
        LatestJob job(&record.context, record.options());
        {
            PoolGate gate;
            job.start([]() -> int { throw std::runtime_error("The first file is unreadable."); },
                      record.land(), record.drop());
            job.start([] { return 2; }, record.land(), record.drop());
        }
        QTRY_COMPARE(record.inFlight, 0);
        QCOMPARE(record.landed, std::vector<int>{2});
        QCOMPARE(record.dropped, QStringList{"The first file is unreadable."});

        // Cancelled, it neither runs nor reports, and it is no longer pending.
        {
            PoolGate gate;
            job.start([] { return 3; }, record.land(), record.drop());
            job.cancel();
            QVERIFY(!job.pending());
        }
        QTRY_COMPARE(record.inFlight, 0);
        QCOMPARE(job.ran(), 2);
        QCOMPARE(record.landed, std::vector<int>{2});
        QCOMPARE(record.dropped.size(), 1);
    }

    void aPauseCoalescesABurstIntoOneJob()
    {
        Record record;
        LatestJob job(&record.context, record.options(std::chrono::milliseconds(30)));
        for (int value = 1; value <= 5; ++value)
            job.start([value] { return value; }, record.land());
        QCOMPARE(record.inFlight, 0);  // nothing goes to the pool during the pause
        QVERIFY(job.pending());
        QTRY_COMPARE(record.landed, std::vector<int>{5});
        QCOMPARE(job.started(), 5);
        QCOMPARE(job.ran(), 1);

        // Cancelled during its pause, a job is never sent.
        job.start([] { return 6; }, record.land());
        job.cancel();
        QVERIFY(!QTest::qWaitFor([&] { return record.inFlight != 0 || job.ran() != 1; }, 200));
        QCOMPARE(record.landed, std::vector<int>{5});
    }

    void nothingLandsOnceTheContextIsGone()
    {
        int landed = 0;
        std::optional<PoolGate> gate(std::in_place);
        {
            auto context = std::make_unique<QObject>();
            LatestJob job(context.get());
            job.start([] { return 1; }, [&landed](const Outcome<int>&) { ++landed; });
            context.reset();
        }
        gate.reset();
        QVERIFY(!QTest::qWaitFor([&] { return landed != 0; }, 200));
    }
};

QTEST_MAIN(LatestJobTests)
#include "LatestJobTests.moc"
