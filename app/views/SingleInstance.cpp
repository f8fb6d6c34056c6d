#include "SingleInstance.hpp"

#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QUrl>

namespace lumivert {

namespace {

// One path per line, UTF-8; a path cannot hold a newline that a file manager would pass.
QByteArray encode(const QStringList& paths) { return paths.join(QLatin1Char('\n')).toUtf8(); }

QStringList decode(const QByteArray& data)
{
    return QString::fromUtf8(data).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

}  // namespace

QString SingleInstance::defaultServerName()
{
    QString user = qEnvironmentVariable("USER");
    if (user.isEmpty())
        user = QDir::home().dirName();
    return QStringLiteral("lumivert-") + user;
}

SingleInstance::SingleInstance(QString serverName, QObject* parent)
    : QObject(parent), serverName_(std::move(serverName))
{
    connect(&server_, &QLocalServer::newConnection, this, &SingleInstance::accept);
}

bool SingleInstance::forward(const QStringList& paths, int timeoutMs) const
{
    QLocalSocket socket;
    socket.connectToServer(serverName_);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.write(encode(paths));
    const bool sent = socket.waitForBytesWritten(timeoutMs) || socket.bytesToWrite() == 0;
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(timeoutMs);
    return sent;
}

bool SingleInstance::listen()
{
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    if (server_.listen(serverName_))
        return true;
    QLocalServer::removeServer(serverName_);
    return server_.listen(serverName_);
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
