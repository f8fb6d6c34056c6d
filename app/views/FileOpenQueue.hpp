#pragma once
// Files the desktop asks the application to open. They wait until the window has appeared and
// then go, in order, to the slot a drop would fill at that moment; LUT files open as such.
#include <QPointer>
#include <QStringList>

namespace lumivert {

class AppModel;

class FileOpenQueue {
public:
    // The window has appeared: from now on files load at once.
    void setModel(AppModel* model);
    void open(const QStringList& paths);
    void flushPending();
    const QStringList& pending() const { return pending_; }

private:
    QPointer<AppModel> model_;
    QStringList pending_;
};

}  // namespace lumivert
