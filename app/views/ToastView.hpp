#pragma once
// The transient confirmation under the preview: a check mark, the model's toast message and,
// when the toast names a file, a button that shows the file in the file manager.
#include "AppModel.hpp"

#include <QFrame>

class QLabel;
class QPushButton;

namespace lumivert {

class ToastView : public QFrame {
    Q_OBJECT

public:
    explicit ToastView(AppModel& model, QWidget* parent = nullptr);

    // The message of the toast shown last; it stays while the toast fades out.
    QString message() const;
    QPushButton* revealButton() const { return reveal_; }
    // Sizes the toast to its message on one line, or wrapped to fit `width`, and returns it.
    QSize sizeWithin(int width);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void refresh();

    AppModel& model_;
    QLabel* symbol_;
    QLabel* message_;
    QPushButton* reveal_;
};

}  // namespace lumivert
