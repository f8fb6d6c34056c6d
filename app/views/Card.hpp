#pragma once
// A titled panel of the inspector: a header with a symbol, the title and an optional trailing
// control, above the content, on a rounded rectangle with a hairline border. The identifier
// names the card so that it can be scrolled to.
#include <QString>
#include <QWidget>

class QLabel;

namespace lumivert {

class Card : public QWidget {
    Q_OBJECT

public:
    // Takes ownership of content and trailing (which may be null).
    Card(const QString& identifier, const QString& title, const QString& symbol, QWidget* content,
         QWidget* trailing = nullptr, QWidget* parent = nullptr);

    const QString& identifier() const { return identifier_; }
    QString title() const;
    void setTitle(const QString& title);
    const QString& symbol() const { return symbol_; }
    void setSymbol(const QString& symbol);
    QWidget* content() const { return content_; }
    QWidget* trailing() const { return trailing_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString identifier_;
    QString symbol_;
    QLabel* icon_;
    QLabel* title_;
    QWidget* content_;
    QWidget* trailing_;
};

}  // namespace lumivert
