#pragma once
// A small plot with its caption: the content is kept square at the widget's width, the caption
// sits under it in the caption-2 font.
#include <QWidget>

class QLabel;

namespace lumivert {

class Figure : public QWidget {
    Q_OBJECT

public:
    // Takes ownership of `content`.
    Figure(const QString& caption, QWidget* content, QWidget* parent = nullptr);

    QString caption() const;
    QWidget* content() const { return content_; }

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QWidget* content_;
    QLabel* caption_;
};

}  // namespace lumivert
