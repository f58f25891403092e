// Maintenance tool: draws the program icon (spectrum bars in the analyzer's three zone colours)
// into spectrino-<size>.png for every icon size, spectrino.svg and the Windows icon spectrino.ico
// (16, 32 and 48 pixels as bitmaps, 256 as PNG), all from one 16 x 16 grid so the small sizes stay
// pixel-sharp.
//   spectrino_icon_tool <output directory>
#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QString>
#include <QTextStream>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <vector>

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

void PutLe(QByteArray& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.append(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
}

// One icon image as the .ico format keeps it below 256 pixels: a 32-bit bitmap stored bottom-up
// with twice its height, followed by the one-bit transparency mask.
QByteArray IconBitmap(const QImage& picture) {
    const QImage image = picture.convertToFormat(QImage::Format_ARGB32);
    const int size = image.width();
    const int maskStride = ((size + 31) / 32) * 4;
    QByteArray out;
    PutLe(out, 40, 4);  // BITMAPINFOHEADER
    PutLe(out, static_cast<uint32_t>(size), 4);
    PutLe(out, static_cast<uint32_t>(2 * size), 4);
    PutLe(out, 1, 2);   // planes
    PutLe(out, 32, 2);  // bits per pixel
    PutLe(out, 0, 4);   // no compression
    PutLe(out, static_cast<uint32_t>(size * size * 4 + maskStride * size), 4);
    PutLe(out, 0, 4);
    PutLe(out, 0, 4);
    PutLe(out, 0, 4);
    PutLe(out, 0, 4);
    for (int y = size - 1; y >= 0; --y) {
        for (int x = 0; x < size; ++x) {
            PutLe(out, image.pixel(x, y), 4);  // B, G, R, A in memory
        }
    }
    for (int y = size - 1; y >= 0; --y) {
        QByteArray row(maskStride, '\0');
        for (int x = 0; x < size; ++x) {
            if (qAlpha(image.pixel(x, y)) == 0) {
                row[x / 8] = static_cast<char>(row[x / 8] | (0x80 >> (x % 8)));
            }
        }
        out.append(row);
    }
    return out;
}

QByteArray IconPng(const QImage& image) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

QByteArray Ico() {
    std::vector<std::pair<int, QByteArray>> images;
    for (const int size : {16, 32, 48}) {
        images.emplace_back(size, IconBitmap(Render(size)));
    }
    images.emplace_back(256, IconPng(Render(256)));

    QByteArray out;
    PutLe(out, 0, 2);  // ICONDIR
    PutLe(out, 1, 2);  // an icon, not a cursor
    PutLe(out, static_cast<uint32_t>(images.size()), 2);
    uint32_t offset = 6 + 16 * static_cast<uint32_t>(images.size());
    for (const auto& [size, data] : images) {
        out.append(static_cast<char>(size == 256 ? 0 : size));  // 0 stands for 256
        out.append(static_cast<char>(size == 256 ? 0 : size));
        out.append('\0');  // no palette
        out.append('\0');
        PutLe(out, 1, 2);   // planes
        PutLe(out, 32, 2);  // bits per pixel
        PutLe(out, static_cast<uint32_t>(data.size()), 4);
        PutLe(out, offset, 4);
        offset += static_cast<uint32_t>(data.size());
    }
    for (const auto& image : images) {
        out.append(image.second);
    }
    return out;
}

bool WriteFile(const QString& name, const QByteArray& data) {
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(data) != data.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(name));
        return false;
    }
    return true;
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
    if (!WriteFile(dir + QStringLiteral("/spectrino.svg"), Svg().toUtf8()) ||
        !WriteFile(dir + QStringLiteral("/spectrino.ico"), Ico())) {
        return 1;
    }
    return 0;
}
