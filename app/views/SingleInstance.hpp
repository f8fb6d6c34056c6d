#pragma once
// One running Lumivert per user: a second launch hands its files to the first through a local
// socket and exits.
#include <QLocalServer>
#include <QObject>
#include <QStringList>

namespace lumivert {

class SingleInstance : public QObject {
    Q_OBJECT

public:
    // The socket name: per user, so that two users of one machine each have their own instance.
    static QString defaultServerName();

    explicit SingleInstance(QString serverName = defaultServerName(), QObject* parent = nullptr);

    // Sends the files to a running instance; false when none answers.
    bool forward(const QStringList& paths, int timeoutMs = 1000) const;
    // Becomes the running instance; a socket left behind by a crashed one is replaced.
    bool listen();

Q_SIGNALS:
    void filesReceived(const QStringList& paths);

private:
    void accept();

    QString serverName_;
    QLocalServer server_;
};

// Absolute paths for the command-line arguments that name files (file: URLs included).
QStringList filesFromArguments(const QStringList& arguments);

}  // namespace lumivert
