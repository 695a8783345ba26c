#pragma once
// A drive-panel style seven-segment display: six digit cells (a sign column and five digits),
// lit segments on a dark face, a fixed number of decimals. A double click, Enter or Space
// activates it, which the keypad uses to open its edit dialog.

#include <QWidget>

namespace vm {

class SevenSegmentDisplay : public QWidget {
    Q_OBJECT
public:
    static constexpr int kCells = 6;

    explicit SevenSegmentDisplay(QWidget* parent = nullptr);

    void SetValue(double value);
    void SetDecimals(int decimals);
    void SetShowSign(bool sign);
    // Nothing shown at all (no item on the display).
    void SetBlank(bool blank);

    double Value() const { return value_; }
    int Decimals() const { return decimals_; }
    bool ShowSign() const { return sign_; }
    // What the cells show, e.g. " 60.00"; dashes when the value does not fit.
    QString Text() const;

    QSize sizeHint() const override;

signals:
    void activated();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Changed();

    double value_ = 0;
    int decimals_ = 0;
    bool sign_ = false;
    bool blank_ = true;
};

}  // namespace vm
