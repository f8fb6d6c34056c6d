#include "SingleInstance.hpp"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QUrl>

#include <cerrno>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lumivert {

namespace {

// One path per line, UTF-8; a path cannot hold a newline that a file manager would pass.
QByteArray encode(const QStringList& paths) { return paths.join(QLatin1Char('\n')).toUtf8(); }

QStringList decode(const QByteArray& data)
{
    return QString::fromUtf8(data).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

constexpr mode_t privateFolderMode = 0700;
constexpr mode_t othersBits = 0077;

// A real folder (not a link to one) of this user that nobody else may enter.
bool isPrivateFolder(const QString& folder)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(folder).constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::geteuid() && (info.st_mode & othersBits) == 0;
}

// The user the process at the other end of the connection ran as when it connected or listened.
bool peerIsThisUser(const QLocalSocket& socket)
{
    ucred peer{};
    socklen_t size = sizeof peer;
    return ::getsockopt(static_cast<int>(socket.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &peer,
                        &size) == 0 &&
           peer.uid == ::geteuid();
}

}  // namespace

QString SingleInstance::defaultServerName() { return QStringLiteral("lumivert"); }

QString SingleInstance::runtimeFolder(QString* problem)
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && isPrivateFolder(runtime))
        return runtime;
    const QString own =
        QDir::tempPath() + QStringLiteral("/lumivert-") + QString::number(::geteuid());
    // Made with its mode at once: a folder another user made first is never taken for ours.
    if (::mkdir(QFile::encodeName(own).constData(), privateFolderMode) == 0 || errno == EEXIST) {
        if (isPrivateFolder(own))
            return own;
    }
    if (problem != nullptr)
        *problem = QStringLiteral("The folder \u201C%1\u201D is not a private folder of this user, "
                                  "so later launches open windows of their own.")
                       .arg(own);
    return {};
}

SingleInstance::SingleInstance(const QString& serverName, QObject* parent) : QObject(parent)
{
    if (QDir::isAbsolutePath(serverName)) {
        serverPath_ = serverName;
    } else {
        const QString folder = runtimeFolder(&problem_);
        if (!folder.isEmpty())
            serverPath_ = folder + QLatin1Char('/') + serverName;
    }
    connect(&server_, &QLocalServer::newConnection, this, &SingleInstance::accept);
}

bool SingleInstance::forward(const QStringList& paths, int timeoutMs)
{
    if (serverPath_.isEmpty())
        return false;
    QLocalSocket socket;
    socket.connectToServer(serverPath_);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    // Checked before a byte is sent: the paths are this user's business.
    if (!peerIsThisUser(socket)) {
        socket.abort();
        problem_ = QStringLiteral("The instance listening at \u201C%1\u201D belongs to another "
                                  "user, so it was not used.")
                       .arg(serverPath_);
        return false;
    }
    socket.write(encode(paths));
    const bool sent = socket.waitForBytesWritten(timeoutMs) || socket.bytesToWrite() == 0;
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(timeoutMs);
    return sent;
}

bool SingleInstance::listen()
{
    if (serverPath_.isEmpty())
        return false;
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    if (server_.listen(serverPath_))
        return true;
    QLocalServer::removeServer(serverPath_);
    if (server_.listen(serverPath_))
        return true;
    problem_ = QStringLiteral("Lumivert could not listen at \u201C%1\u201D: %2.")
                   .arg(serverPath_, server_.errorString());
    return false;
}

void SingleInstance::accept()
{
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        auto buffer = std::make_shared<QByteArray>();
        connect(socket, &QLocalSocket::readyRead, this,
                [socket, buffer] { buffer->append(socket->readAll()); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket, buffer] {
            buffer->append(socket->readAll());
            socket->deleteLater();
            const QStringList paths = decode(*buffer);
            Q_EMIT filesReceived(paths);
        });
        if (socket->state() == QLocalSocket::UnconnectedState) {
            // Already gone, so no disconnected signal will come: everything it sent is waiting.
            buffer->append(socket->readAll());
            socket->deleteLater();
            Q_EMIT filesReceived(decode(*buffer));
        }
    }
}

QStringList filesFromArguments(const QStringList& arguments)
{
    QStringList paths;
    for (const QString& argument : arguments) {
        if (argument.isEmpty() || argument.startsWith(QLatin1Char('-')))
            continue;
        const QUrl url(argument);
        const QString path = url.isLocalFile() ? url.toLocalFile() : argument;
        paths.append(QFileInfo(path).absoluteFilePath());
    }
    return paths;
}

}  // namespace lumivert
