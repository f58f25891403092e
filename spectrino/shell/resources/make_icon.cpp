// Maintenance tool: draws the program icon (spectrum bars in the analyzer's three zone colours)
// into spectrino-<size>.png for every icon size and spectrino.svg, all from one 16 x 16 grid so
// the small sizes stay pixel-sharp.
//   spectrino_icon_tool <output directory>
#include <QColor>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QString>
#include <QTextStream>

#include <algorithm>
#include <array>
#include <cstdio>

namespace {

constexpr int kGrid = 16;
constexpr int kCorner = 3;
constexpr int kFloor = 15;  // bars stand on this grid row
const QColor kBackground(0x15, 0x1A, 0x22);

struct Zone {
    int top;     // first grid row of the zone
    int bottom;  // one past its last row
    QColor color;
};
const std::array<Zone, 3> kZones{{
    {2, 6, QColor(0xFF, 0x00, 0x00)},        // high
    {6, 10, QColor(0xFF, 0xFF, 0x00)},       // mid
    {10, kFloor, QColor(0x00, 0xC0, 0xC0)},  // low
}};

struct Bar {
    int left;
    int height;
};
constexpr int kBarWidth = 2;
constexpr std::array<Bar, 5> kBars{{{1, 6}, {4, 11}, {7, 8}, {10, 13}, {13, 4}}};

// Calls paint(x, y, width, height, colour) for each bar segment, in grid units.
template <typename Paint>
void ForEachSegment(Paint paint) {
    for (const Bar& bar : kBars) {
        const int top = kFloor - bar.height;
        for (const Zone& zone : kZones) {
            const int from = std::max(top, zone.top);
            const int to = std::min(kFloor, zone.bottom);
            if (from < to) {
                paint(bar.left, from, kBarWidth, to - from, zone.color);
            }
        }
    }
}

QImage Render(int size) {
    const int unit = size / kGrid;
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kBackground);
    painter.drawRoundedRect(QRectF(0, 0, size, size), kCorner * unit, kCorner * unit);
    painter.setRenderHint(QPainter::Antialiasing, false);
    ForEachSegment([&](int x, int y, int w, int h, const QColor& color) {
        painter.fillRect(x * unit, y * unit, w * unit, h * unit, color);
    });
    return image;
}

QString Svg() {
    QString text;
    QTextStream out(&text);
    out << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" "
           "viewBox=\"0 0 "
        << kGrid << ' ' << kGrid << "\">\n"
        << "  <rect width=\"" << kGrid << "\" height=\"" << kGrid << "\" rx=\"" << kCorner
        << "\" fill=\"" << kBackground.name() << "\"/>\n";
    ForEachSegment([&](int x, int y, int w, int h, const QColor& color) {
        out << "  <rect x=\"" << x << "\" y=\"" << y << "\" width=\"" << w << "\" height=\"" << h
            << "\" fill=\"" << color.name() << "\"/>\n";
    });
    out << "</svg>\n";
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: spectrino_icon_tool <output directory>\n");
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    for (const int size : {16, 32, 48, 64, 128, 256}) {
        const QString name = dir + QStringLiteral("/spectrino-%1.png").arg(size);
        if (!Render(size).save(name, "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(name));
            return 1;
        }
    }
    QFile svg(dir + QStringLiteral("/spectrino.svg"));
    if (!svg.open(QIODevice::WriteOnly | QIODevice::Truncate) || svg.write(Svg().toUtf8()) < 0) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(svg.fileName()));
        return 1;
    }
    return 0;
}
