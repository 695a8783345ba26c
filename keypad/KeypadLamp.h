#pragma once
// A round panel lamp with its caption below, like the FWD, REV and FAULT lamps of a drive's
// keypad: a bright lens with a highlight when on, a dark one when off.

#include <QColor>
#include <QWidget>

namespace vm {

class KeypadLamp : public QWidget {
    Q_OBJECT
public:
    KeypadLamp(const QString& caption, const QColor& color, QWidget* parent = nullptr);

    void SetOn(bool on);
    bool IsOn() const { return on_; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString caption_;
    QColor color_;
    bool on_ = false;
};

}  // namespace vm
