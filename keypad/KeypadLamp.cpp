#include "keypad/KeypadLamp.h"

#include <QPainter>
#include <QRadialGradient>

namespace vm {

KeypadLamp::KeypadLamp(const QString& caption, const QColor& color, QWidget* parent)
    : QWidget(parent), caption_(caption), color_(color)
{
    setAccessibleName(caption + QStringLiteral(" lamp"));
    setAccessibleDescription(QStringLiteral("off"));
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void KeypadLamp::SetOn(bool on)
{
    if (on_ == on)
        return;
    on_ = on;
    setAccessibleDescription(on ? QStringLiteral("on") : QStringLiteral("off"));
    update();
}

QSize KeypadLamp::sizeHint() const
{
    return {56, 48};
}

void KeypadLamp::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QFontMetrics fm = fontMetrics();
    const double d = std::min<double>(width() - 4, height() - fm.height() - 6);
    const QRectF lens((width() - d) / 2, 2, d, d);

    p.setPen(QPen(QColor(40, 40, 40), 1.5));
    if (on_) {
        QRadialGradient g(lens.center() - QPointF(d / 6, d / 6), d / 1.6);
        g.setColorAt(0, color_.lighter(170));
        g.setColorAt(0.5, color_);
        g.setColorAt(1, color_.darker(130));
        p.setBrush(g);
    } else {
        p.setBrush(color_.darker(420));
    }
    p.drawEllipse(lens);

    QFont f = font();
    f.setBold(true);
    p.setFont(f);
    p.setPen(palette().windowText().color());
    p.drawText(QRectF(0, lens.bottom() + 2, width(), fm.height() + 2), Qt::AlignHCenter | Qt::AlignTop,
               caption_);
}

}  // namespace vm
