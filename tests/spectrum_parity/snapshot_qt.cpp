// The scenario on the Qt front end's canvas: a QImage with the main form's fonts.
#include <QFont>
#include <QGuiApplication>
#include <QImage>

#include "display/image_canvas.h"
#include "parity_scenario.h"

namespace spectrino::parity {
namespace {

class ImageSurface : public Surface {
public:
    ImageSurface(int width, int height)
        : image_(MakeImage(QSize(width, height))),
          notation_(Font(11)),
          seperator_(Font(9)),
          canvas_(image_, notation_, seperator_) {}

    SpectrumCanvas& Canvas() override { return canvas_; }
    void BeginDrawing() override { canvas_.Begin(); }
    void EndDrawing() override { canvas_.End(); }
    TColor Pixel(int x, int y) override {
        const QRgb rgb = image_.pixel(x, y);
        return static_cast<TColor>(qRed(rgb) | (qGreen(rgb) << 8) | (qBlue(rgb) << 16));
    }

private:
    static QFont Font(int pixels) {
        QFont font(QStringLiteral("MS Shell Dlg 2"));
        font.setPixelSize(pixels);
        return font;
    }

    QImage image_;
    QFont notation_;
    QFont seperator_;
    ImageCanvas canvas_;
};

}  // namespace
}  // namespace spectrino::parity

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    return spectrino::parity::SnapshotMain(argc, argv, [](int width, int height) {
        return std::make_unique<spectrino::parity::ImageSurface>(width, height);
    });
}
