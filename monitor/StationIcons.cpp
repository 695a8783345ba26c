#include "monitor/StationIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

namespace vm {

namespace {

QPixmap Canvas(int w, int h, qreal dpr)
{
    QPixmap pm(qRound(w * dpr), qRound(h * dpr));
    pm.setDevicePixelRatio(dpr);
    pm.fill(Qt::transparent);
    return pm;
}

void Begin(QPainter& p)
{
    p.setRenderHint(QPainter::Antialiasing);
}

// A filled disc with a darker rim, the base of most row images.
void Disc(QPainter& p, const QRectF& r, const QColor& fill)
{
    p.setPen(QPen(fill.darker(150), 1.0));
    QRadialGradient g(r.center() - QPointF(r.width() / 5, r.height() / 5), r.width() * 0.7);
    g.setColorAt(0, fill.lighter(140));
    g.setColorAt(1, fill);
    p.setBrush(g);
    p.drawEllipse(r);
}

void Arrow(QPainter& p, bool forward)
{
    QPolygonF tri;
    if (forward)
        tri << QPointF(6, 4.5) << QPointF(12, 8) << QPointF(6, 11.5);
    else
        tri << QPointF(10, 4.5) << QPointF(4, 8) << QPointF(10, 11.5);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawPolygon(tri);
}

}  // namespace

QPixmap RowImagePixmap(int image, qreal dpr)
{
    QPixmap pm = Canvas(16, 16, dpr);
    QPainter p(&pm);
    Begin(p);
    const QRectF disc(1.5, 1.5, 13, 13);
    switch (image) {
    case 1:  // forward
        Disc(p, disc, QColor(0x2e, 0xa0, 0x43));
        Arrow(p, true);
        break;
    case 2:  // reverse
        Disc(p, disc, QColor(0x1f, 0x6f, 0xd0));
        Arrow(p, false);
        break;
    case 3: {  // fault
        QPolygonF tri;
        tri << QPointF(8, 1.5) << QPointF(15, 14.5) << QPointF(1, 14.5);
        p.setPen(QPen(QColor(0x9a, 0x12, 0x12), 1.0));
        p.setBrush(QColor(0xd9, 0x2b, 0x2b));
        p.drawPolygon(tri);
        p.setPen(QPen(Qt::white, 1.8, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(8, 6), QPointF(8, 10));
        p.drawPoint(QPointF(8, 12.5));
        break;
    }
    case 4: {  // disconnected: grey disc with a cross
        Disc(p, disc, QColor(0x8a, 0x8a, 0x8a));
        p.setPen(QPen(Qt::white, 1.8, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(5.5, 5.5), QPointF(10.5, 10.5));
        p.drawLine(QPointF(10.5, 5.5), QPointF(5.5, 10.5));
        break;
    }
    case 5: {  // not supported: amber disc with a question mark
        Disc(p, disc, QColor(0xe0, 0x9a, 0x1a));
        QFont f = p.font();
        f.setPixelSize(11);
        f.setBold(true);
        p.setFont(f);
        p.setPen(Qt::white);
        p.drawText(QRectF(0, 0.5, 16, 16), Qt::AlignCenter, QStringLiteral("?"));
        break;
    }
    default: {  // stopped or just identified: grey disc with a square
        Disc(p, disc, QColor(0x5f, 0x6b, 0x78));
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(5.5, 5.5, 5, 5));
        break;
    }
    }
    return pm;
}

QPixmap LampPixmap(int bits, qreal dpr)
{
    QPixmap pm = Canvas(46, 16, dpr);
    QPainter p(&pm);
    Begin(p);
    const auto lamp = [&](qreal x, const QString& label, bool on, const QColor& color) {
        Disc(p, QRectF(x, 3.5, 9, 9), on ? color : QColor(0x55, 0x5b, 0x60));
        QFont f = p.font();
        f.setPixelSize(9);
        p.setFont(f);
        p.setPen(on ? QColor(0x20, 0x20, 0x20) : QColor(0x80, 0x80, 0x80));
        p.drawText(QRectF(x + 10, 0, 14, 16), Qt::AlignVCenter | Qt::AlignLeft, label);
    };
    lamp(1, QStringLiteral("TX"), bits & 1, QColor(0x2e, 0xc0, 0x4a));
    lamp(24, QStringLiteral("RX"), bits & 2, QColor(0xf0, 0xb0, 0x1a));
    return pm;
}

QIcon ToolBarIcon(ToolIcon icon)
{
    QPixmap pm = Canvas(24, 24, 2.0);
    QPainter p(&pm);
    Begin(p);
    const QColor ink(0x33, 0x3d, 0x47);
    const QPen pen(ink, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    switch (icon) {
    case ToolIcon::Connect:  // magnifier over a line of stations
        p.drawLine(QPointF(2, 20), QPointF(22, 20));
        for (qreal x : {5.0, 12.0, 19.0})
            p.drawLine(QPointF(x, 20), QPointF(x, 17));
        p.setBrush(QColor(0xcf, 0xe6, 0xff));
        p.drawEllipse(QRectF(5, 2, 10, 10));
        p.drawLine(QPointF(13.5, 10.5), QPointF(18, 15));
        break;
    case ToolIcon::Stop:
        p.setPen(QPen(QColor(0x9a, 0x12, 0x12), 1.2));
        p.setBrush(QColor(0xd9, 0x2b, 0x2b));
        p.drawRoundedRect(QRectF(5, 5, 14, 14), 2, 2);
        break;
    case ToolIcon::Update: {
        QPainterPath arc;
        arc.arcMoveTo(QRectF(4, 4, 16, 16), 60);
        arc.arcTo(QRectF(4, 4, 16, 16), 60, 280);
        p.setPen(QPen(QColor(0x1f, 0x6f, 0xd0), 2.2, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawPath(arc);
        QPolygonF head;
        head << QPointF(12, 1.5) << QPointF(17.5, 5) << QPointF(12, 8.5);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x1f, 0x6f, 0xd0));
        p.drawPolygon(head);
        break;
    }
    case ToolIcon::Information: {
        Disc(p, QRectF(3, 3, 18, 18), QColor(0x1f, 0x6f, 0xd0));
        QFont f = p.font();
        f.setPixelSize(14);
        f.setBold(true);
        f.setFamily(QStringLiteral("serif"));
        p.setFont(f);
        p.setPen(Qt::white);
        p.drawText(QRectF(3, 3, 18, 18), Qt::AlignCenter, QStringLiteral("i"));
        break;
    }
    case ToolIcon::Keypad:
        p.setBrush(QColor(0xe8, 0xec, 0xf0));
        p.drawRoundedRect(QRectF(4, 2, 16, 20), 2.5, 2.5);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x2e, 0xa0, 0x43));
        p.drawRect(QRectF(7, 5, 10, 4));
        p.setBrush(ink);
        for (int r = 0; r < 2; ++r)
            for (int c = 0; c < 3; ++c)
                p.drawEllipse(QRectF(6.5 + c * 4, 12 + r * 4, 2.6, 2.6));
        break;
    case ToolIcon::Editor:
    case ToolIcon::OfflineEditor: {
        const bool online = icon == ToolIcon::Editor;
        p.setBrush(Qt::white);
        p.drawRect(QRectF(3, 3, 14, 18));
        p.setPen(QPen(online ? ink : QColor(0x90, 0x90, 0x90), 1.2));
        for (int i = 0; i < 4; ++i)
            p.drawLine(QPointF(6, 7 + i * 3.5), QPointF(14, 7 + i * 3.5));
        p.setPen(QPen(online ? QColor(0xe0, 0x9a, 0x1a) : QColor(0xa0, 0xa0, 0xa0), 3.0, Qt::SolidLine,
                      Qt::RoundCap));
        p.drawLine(QPointF(13, 18), QPointF(21, 10));
        break;
    }
    case ToolIcon::Graph: {
        p.drawLine(QPointF(3, 3), QPointF(3, 21));
        p.drawLine(QPointF(3, 21), QPointF(22, 21));
        QPainterPath wave;
        wave.moveTo(4, 14);
        wave.cubicTo(8, 2, 11, 2, 13, 12);
        wave.cubicTo(15, 21, 18, 21, 22, 8);
        p.setPen(QPen(QColor(0x2e, 0xa0, 0x43), 2.0));
        p.setBrush(Qt::NoBrush);
        p.drawPath(wave);
        break;
    }
    case ToolIcon::Port: {
        QPolygonF shell;
        shell << QPointF(2, 7) << QPointF(22, 7) << QPointF(19, 17) << QPointF(5, 17);
        p.setBrush(QColor(0xcf, 0xd6, 0xdd));
        p.drawPolygon(shell);
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
        for (int i = 0; i < 5; ++i)
            p.drawEllipse(QRectF(5 + i * 3, 9.5, 1.8, 1.8));
        for (int i = 0; i < 4; ++i)
            p.drawEllipse(QRectF(6.5 + i * 3, 13, 1.8, 1.8));
        break;
    }
    }
    p.end();
    return QIcon(pm);
}

}  // namespace vm
