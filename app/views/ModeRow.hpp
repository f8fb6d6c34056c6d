#pragma once
// One row of the sidebar's mode list: the mode's tinted symbol, its title and a one-line
// description. Clicking it, or Space or Return while it has focus, asks for its mode. A row of
// its own symbol and texts stands for a way in beside the modes (an opened LUT file).
#include "AppTypes.hpp"

#include <QWidget>

class QLabel;

namespace lumivert {

class ModeRow : public QWidget {
    Q_OBJECT

public:
    explicit ModeRow(Mode mode, QWidget* parent = nullptr);
    ModeRow(const QString& symbol, const QString& title, const QString& description,
            QWidget* parent = nullptr);

    Mode mode() const { return mode_; }
    bool isSelected() const { return selected_; }
    // Draws the row as the list's selection; does not change the model.
    void setSelected(bool selected);

    QString title() const;
    QString description() const;
    void setDescription(const QString& description);

Q_SIGNALS:
    void activated(lumivert::Mode mode);
    // Clicked, or Space or Return: every row, with or without a mode.
    void triggered();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void restyle();
    void trigger();

    Mode mode_;
    QString symbolName_;
    bool selected_ = false;
    bool pressed_ = false;
    bool keyboardFocus_ = false;  // the focus ring shows only for focus the keyboard moved
    QLabel* symbol_;
    QLabel* title_;
    QLabel* description_;
};

}  // namespace lumivert
