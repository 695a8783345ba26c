#include "keypad/SevenSegmentDisplay.h"

#include "keypad/KeypadLogic.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <array>

namespace vm {

namespace {

// Segments a-g of each glyph, bit 0 = a (top) ... bit 6 = g (middle).
constexpr std::array<uint8_t, 10> kDigitSegments = {0x3F, 0x06, 0x5B, 0x4F, 0x66,
                                                    0x6D, 0x7D, 0x07, 0x7F, 0x6F};
constexpr uint8_t kMinusSegments = 0x40;

const QColor kFace(18, 14, 12);
const QColor kLit(255, 72, 36);
const QColor kUnlit(58, 22, 18);

struct Cell {
    uint8_t segments = 0;
    bool dot = false;
};

// Text to cells, right-aligned; a '.' lights the dot of the digit before it.
std::vector<Cell> CellsOf(const QString& text)
{
    std::vector<Cell> cells;
    for (QChar c : text) {
        if (c == QLatin1Char('.') && !cells.empty()) {
            cells.back().dot = true;
            continue;
        }
        Cell cell;
        if (c.isDigit())
            cell.segments = kDigitSegments[static_cast<size_t>(c.digitValue())];
        else if (c == QLatin1Char('-'))
            cell.segments = kMinusSegments;
        cells.push_back(cell);
    }
    return cells;
}

QPolygonF Horizontal(double x0, double x1, double y, double t)
{
    return QPolygonF({{x0, y},
                      {x0 + t / 2, y - t / 2},
                      {x1 - t / 2, y - t / 2},
                      {x1, y},
                      {x1 - t / 2, y + t / 2},
                      {x0 + t / 2, y + t / 2}});
}

QPolygonF Vertical(double x, double y0, double y1, double t)
{
    return QPolygonF({{x, y0},
                      {x + t / 2, y0 + t / 2},
                      {x + t / 2, y1 - t / 2},
                      {x, y1},
                      {x - t / 2, y1 - t / 2},
                      {x - t / 2, y0 + t / 2}});
}

}  // namespace

SevenSegmentDisplay::SevenSegmentDisplay(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setAccessibleDescription(QStringLiteral("Double click or press Enter to edit"));
}

void SevenSegmentDisplay::SetValue(double value)
{
    if (value_ != value || blank_) {
        value_ = value;
        blank_ = false;
        Changed();
    }
}

void SevenSegmentDisplay::SetDecimals(int decimals)
{
    if (decimals_ != decimals) {
        decimals_ = decimals;
        Changed();
    }
}

void SevenSegmentDisplay::SetShowSign(bool sign)
{
    if (sign_ != sign) {
        sign_ = sign;
        Changed();
    }
}

void SevenSegmentDisplay::SetBlank(bool blank)
{
    if (blank_ != blank) {
        blank_ = blank;
        Changed();
    }
}

void SevenSegmentDisplay::Changed()
{
    setAccessibleName(QStringLiteral("%1 %2").arg(objectName(), Text().trimmed()).trimmed());
    update();
}

QString SevenSegmentDisplay::Text() const
{
    if (blank_)
        return QString(kCells, QLatin1Char(' '));
    QString t = KeypadLogic::DisplayText(value_, decimals_, sign_);
    const qsizetype digits = t.size() - t.count(QLatin1Char('.'));
    if (digits > kCells)
        return QString(kCells, QLatin1Char('-'));
    return QString(kCells - digits, QLatin1Char(' ')) + t;
}

QSize SevenSegmentDisplay::sizeHint() const
{
    return {kCells * 26 + 16, 56};
}

void SevenSegmentDisplay::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(kFace);
    p.drawRoundedRect(rect(), 4, 4);
    if (hasFocus()) {
        p.setPen(QPen(palette().highlight().color(), 2));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(rect().adjusted(1, 1, -1, -1), 4, 4);
        p.setPen(Qt::NoPen);
    }

    const std::vector<Cell> cells = CellsOf(Text());
    const double margin = 8;
    const double cellW = (width() - 2 * margin) / kCells;
    const double h = height() - 2 * margin;
    const double w = cellW * 0.62;
    const double t = std::max(2.0, std::min(w, h) * 0.16);
    // A slight slant, as on the drive's own panel.
    QTransform slant;
    slant.translate(0, height() / 2.0);
    slant.shear(-0.08, 0);
    slant.translate(0, -height() / 2.0);
    p.setTransform(slant);

    for (int i = 0; i < kCells; ++i) {
        const Cell cell = i < static_cast<int>(cells.size()) ? cells[static_cast<size_t>(i)] : Cell{};
        const double x0 = margin + i * cellW + (cellW - w) / 2 - cellW * 0.08;
        const double x1 = x0 + w;
        const double y0 = margin, ym = margin + h / 2, y1 = margin + h;
        const std::array<QPolygonF, 7> segments = {
            Horizontal(x0, x1, y0, t), Vertical(x1, y0, ym, t), Vertical(x1, ym, y1, t),
            Horizontal(x0, x1, y1, t), Vertical(x0, ym, y1, t), Vertical(x0, y0, ym, t),
            Horizontal(x0, x1, ym, t),
        };
        for (int s = 0; s < 7; ++s) {
            p.setBrush((cell.segments >> s) & 1 ? kLit : kUnlit);
            p.drawPolygon(segments[static_cast<size_t>(s)]);
        }
        p.setBrush(cell.dot ? kLit : kUnlit);
        p.drawEllipse(QPointF(x1 + cellW * 0.16, y1), t * 0.6, t * 0.6);
    }
}

void SevenSegmentDisplay::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        emit activated();
}

void SevenSegmentDisplay::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        emit activated();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

}  // namespace vm
