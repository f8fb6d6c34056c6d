#include "SingleInstance.hpp"

#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace lumivert {

namespace {

constexpr uid_t otherUser = 4321;
constexpr int listenMs = 3000;

// A process of another user listening at `path`, which reports through a pipe that it listens,
// then how many bytes any client sent it. Only system calls run in the child.
class ForeignServer {
public:
    explicit ForeignServer(const QByteArray& path)
    {
        if (::pipe(report_) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0)
            serve(path);
        ::close(report_[1]);
    }
    ~ForeignServer()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            int status = 0;
            ::waitpid(pid_, &status, 0);
        }
        ::close(report_[0]);
    }
    ForeignServer(const ForeignServer&) = delete;
    ForeignServer& operator=(const ForeignServer&) = delete;

    bool listening()
    {
        char ready = 0;
        return pid_ > 0 && ::read(report_[0], &ready, 1) == 1 && ready == 'L';
    }
    // What the clients sent, once the server has stopped waiting for them.
    long received()
    {
        long bytes = -1;
        return ::read(report_[0], &bytes, sizeof bytes) == sizeof bytes ? bytes : -1;
    }

private:
    [[noreturn]] void serve(const QByteArray& path)
    {
        ::close(report_[0]);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.constData(), sizeof address.sun_path - 1);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (::setgid(otherUser) != 0 || ::setuid(otherUser) != 0 ||
            ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(fd, 4) != 0)
            ::_exit(1);
        [[maybe_unused]] const ssize_t ready = ::write(report_[1], "L", 1);
        long bytes = 0;
        pollfd waiting{fd, POLLIN, 0};
        while (::poll(&waiting, 1, listenMs) > 0) {
            const int client = ::accept(fd, nullptr, nullptr);
            char buffer[256];
            for (ssize_t count = 0; (count = ::read(client, buffer, sizeof buffer)) > 0;)
                bytes += count;
            ::close(client);
        }
        [[maybe_unused]] const ssize_t reported = ::write(report_[1], &bytes, sizeof bytes);
        ::_exit(0);
    }

    int report_[2] = {-1, -1};
    pid_t pid_ = -1;
};

// Runs with the environment variable set (or unset for an empty value), then restores it.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const QByteArray& value) : name_(name), old_(qgetenv(name))
    {
        had_ = qEnvironmentVariableIsSet(name);
        value.isEmpty() ? qunsetenv(name) : qputenv(name, value);
    }
    ~ScopedVariable() { had_ ? qputenv(name_, old_) : qunsetenv(name_); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    const char* name_;
    QByteArray old_;
    bool had_ = false;
};

}  // namespace

class SingleInstanceTests : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The socket lives where only the user can reach it: the runtime folder when it is private,
    // else a private folder of the user's own in the temporary folder, and nowhere when that
    // folder is another user's or open to others.
    void theSocketLivesInAPrivateFolder_data()
    {
        QTest::addColumn<QString>("runtime");   // "" unset; else mode and owner, such as "0700 me"
        QTest::addColumn<QString>("fallback");  // the same for the temporary folder's one, "" none
        QTest::addColumn<QString>("expected");  // "runtime", "fallback" or "" for none
        const char* rows[][4] = {
            {"private runtime folder", "0700 me", "", "runtime"},
            {"no runtime folder", "", "", "fallback"},
            {"runtime folder open to others", "0755 me", "", "fallback"},
            {"another user's runtime folder", "0700 other", "", "fallback"},
            {"an existing private fallback", "", "0700 me", "fallback"},
            {"a fallback open to others", "", "0777 me", ""},
            {"another user's fallback", "", "0700 other", ""},
        };
        for (const auto& row : rows)
            QTest::newRow(row[0]) << QString::fromLatin1(row[1]) << QString::fromLatin1(row[2])
                                  << QString::fromLatin1(row[3]);
    }
    void theSocketLivesInAPrivateFolder()
    {
        QFETCH(QString, runtime);
        QFETCH(QString, fallback);
        QFETCH(QString, expected);
        if ((runtime.endsWith(QStringLiteral("other")) ||
             fallback.endsWith(QStringLiteral("other"))) &&
            ::geteuid() != 0)
            QSKIP("only the superuser can give a folder to another user");
        QTemporaryDir temporary;
        QVERIFY(temporary.isValid());
        const QString runtimePath = temporary.filePath(QStringLiteral("runtime"));
        const QString fallbackPath =
            temporary.path() + QStringLiteral("/lumivert-") + QString::number(::geteuid());
        QVERIFY(make(runtimePath, runtime));
        QVERIFY(make(fallbackPath, fallback));
        const ScopedVariable runtimeVariable(
            "XDG_RUNTIME_DIR", runtime.isEmpty() ? QByteArray() : runtimePath.toLocal8Bit());
        const ScopedVariable temporaryVariable("TMPDIR", temporary.path().toLocal8Bit());

        QString problem;
        const QString folder = SingleInstance::runtimeFolder(&problem);
        const QString expectedFolder = expected == QStringLiteral("runtime")    ? runtimePath
                                       : expected == QStringLiteral("fallback") ? fallbackPath
                                                                                : QString();
        QCOMPARE(folder, expectedFolder);
        QCOMPARE(problem.isEmpty(), !expectedFolder.isEmpty());
        if (expectedFolder.isEmpty()) {
            SingleInstance instance;
            QVERIFY(!instance.forward({}, 200));
            QVERIFY(!instance.listen());
            QVERIFY(instance.problem().contains(fallbackPath));
            return;
        }
        struct stat info {};
        QCOMPARE(::lstat(QFile::encodeName(folder).constData(), &info), 0);
        QCOMPARE(info.st_mode & 07777, 0700u);
        SingleInstance running;
        QVERIFY(running.listen());
        QVERIFY(QFileInfo::exists(folder + QLatin1Char('/') + SingleInstance::defaultServerName()));
    }

    // A launch never talks to a server of another user: it sends nothing, says why, and becomes
    // the running instance itself.
    void aServerOfAnotherUserIsNeverUsed()
    {
        if (::geteuid() != 0)
            QSKIP("only the superuser can run a server as another user");
        QTemporaryDir temporary;
        QVERIFY(temporary.isValid());
        QVERIFY(::chmod(QFile::encodeName(temporary.path()).constData(), 0777) == 0);
        const QString path = temporary.filePath(QStringLiteral("instance"));
        ForeignServer foreign(QFile::encodeName(path));
        QVERIFY(foreign.listening());

        SingleInstance launch(path);
        QVERIFY(!launch.forward({QStringLiteral("/home/victim/secret plans.png")}));
        QCOMPARE(foreign.received(), 0L);
        QVERIFY(launch.problem().contains(QStringLiteral("belongs to another user")));

        QVERIFY(launch.listen());
        QSignalSpy received(&launch, &SingleInstance::filesReceived);
        SingleInstance second(path);
        QVERIFY(second.forward({QStringLiteral("/photos/a.png")}));
        QTRY_COMPARE(received.count(), 1);
        QCOMPARE(received.at(0).at(0).toStringList(), QStringList{QStringLiteral("/photos/a.png")});
    }

private:
    // "0700 me" or "0755 other": a folder of that mode and owner; "" makes nothing.
    static bool make(const QString& path, const QString& layout)
    {
        if (layout.isEmpty())
            return true;
        const QStringList parts = layout.split(QLatin1Char(' '));
        const QByteArray name = QFile::encodeName(path);
        const uid_t owner = parts[1] == QStringLiteral("me") ? ::geteuid() : otherUser;
        return ::mkdir(name.constData(), 0700) == 0 &&
               ::chown(name.constData(), owner, owner) == 0 &&
               ::chmod(name.constData(), static_cast<mode_t>(parts[0].toUInt(nullptr, 8))) == 0;
    }
};

}  // namespace lumivert

QTEST_MAIN(lumivert::SingleInstanceTests)
#include "SingleInstanceTests.moc"
