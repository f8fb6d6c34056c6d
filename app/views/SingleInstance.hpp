#pragma once
// One running Lumivert per user: a second launch hands its files to the first through a local
// socket and exits. The socket lives in a folder only the user can enter, and a launch talks only
// to an instance of its own user, so another user can neither take the socket nor read the paths.
#include <QLocalServer>
#include <QObject>
#include <QStringList>

namespace lumivert {

class SingleInstance : public QObject {
    Q_OBJECT

public:
    // The socket's name, in the user's runtime folder.
    static QString defaultServerName();
    // $XDG_RUNTIME_DIR when it is the user's own and closed to others, else a folder of the user's
    // own in the temporary folder, made mode 0700 when missing. Empty when neither can be had, with
    // the reason in `problem`.
    static QString runtimeFolder(QString* problem = nullptr);

    // A name that is not an absolute path is a socket in runtimeFolder().
    explicit SingleInstance(const QString& serverName = defaultServerName(),
                            QObject* parent = nullptr);

    // Sends the files to a running instance of this user; false when none answers, or when the one
    // answering is another user's, which is sent nothing.
    bool forward(const QStringList& paths, int timeoutMs = 1000);
    // Becomes the running instance; a socket left behind by a crashed one is replaced.
    bool listen();
    // Why no instance could be reached or become the running one, as a sentence; empty otherwise.
    QString problem() const { return problem_; }

Q_SIGNALS:
    void filesReceived(const QStringList& paths);

private:
    void accept();

    QString serverPath_;
    QString problem_;
    QLocalServer server_;
};

// Absolute paths for the command-line arguments that name files (file: URLs included).
QStringList filesFromArguments(const QStringList& arguments);

}  // namespace lumivert
