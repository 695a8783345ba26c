// The strip chart's pictures: images, SVG, the clipboard and the printer, all from the same
// painting as the screen.

#include "scope/StripChart.h"

#include <QApplication>
#include <QClipboard>
#include <QImageWriter>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QSaveFile>
#include <QSvgGenerator>

#include <algorithm>

namespace vm::scope {

QSize StripChart::PictureSize() const
{
    const QSize s = size();
    return (isVisible() && s.width() >= 200 && s.height() >= 120) ? s : QSize(1200, 600);
}

QImage StripChart::ToImage(const QSize& size) const
{
    QImage image(size, QImage::Format_RGB32);
    QPainter p(&image);
    Render(p, QRect(QPoint(0, 0), size));
    p.end();
    return image;
}

Result<> StripChart::SavePicture(const QString& path, PictureFormat format) const
{
    QSaveFile file(path);
    // The file's own error code where it has one.
    auto failed = [&file](const QString& text) {
        const int code = file.error() != QFileDevice::NoError ? static_cast<int>(file.error()) : -1;
        return Failure{code, (text.isEmpty() ? file.errorString() : text).toStdString()};
    };
    if (!file.open(QIODevice::WriteOnly))
        return failed(file.errorString());
    const QSize size = PictureSize();
    QString error;
    bool ok = true;
    if (format == PictureFormat::Svg) {
        QSvgGenerator svg;
        svg.setOutputDevice(&file);
        svg.setSize(size);
        svg.setViewBox(QRect(QPoint(0, 0), size));
        svg.setTitle(QStringLiteral("Graph Monitor"));
        QPainter p;
        ok = p.begin(&svg);
        if (ok) {
            Render(p, QRect(QPoint(0, 0), size));
            ok = p.end();
        }
    } else {
        const char* fmt = format == PictureFormat::Jpeg  ? "JPEG"
                          : format == PictureFormat::Bmp ? "BMP"
                                                         : "PNG";
        QImageWriter writer(&file, fmt);
        if (format == PictureFormat::Jpeg)
            writer.setQuality(100);
        ok = writer.write(ToImage(size));
        if (!ok)
            error = writer.errorString();
    }
    if (ok && file.error() == QFileDevice::NoError && file.commit())
        return {};
    file.cancelWriting();
    return failed(error);
}

void StripChart::CopyToClipboard() const
{
    if (QClipboard* clip = QApplication::clipboard())
        clip->setImage(ToImage(PictureSize()));
}

bool StripChart::Print(QPagedPaintDevice& device) const
{
    QPainter p;
    if (!p.begin(&device))
        return false;
    const QRect page = p.viewport();
    const QSize pic = PictureSize();
    // Keep the screen's proportions and scale to the page width.
    const double scale = std::min(page.width() / static_cast<double>(pic.width()),
                                  page.height() / static_cast<double>(pic.height()));
    p.scale(scale, scale);
    Render(p, QRect(QPoint(0, 0), pic));
    return p.end();
}

}  // namespace vm::scope
