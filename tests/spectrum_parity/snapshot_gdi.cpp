// The scenario on the Win32 front end's canvas: a DIB section with the main form's fonts.
#include "parity_scenario.h"
#include "ui/win32/spectrum/gdi_canvas.h"

namespace spectrino::parity {
namespace {

class DibSurface : public Surface {
public:
    DibSurface(int width, int height) { canvas_.Resize(width, height, 0); }

    SpectrumCanvas& Canvas() override { return canvas_; }
    void EndDrawing() override { ::GdiFlush(); }
    TColor Pixel(int x, int y) override { return canvas_.Picture()->Pixel(x, y); }

private:
    win32::GdiCanvas canvas_;
};

}  // namespace
}  // namespace spectrino::parity

int main(int argc, char** argv) {
    return spectrino::parity::SnapshotMain(argc, argv, [](int width, int height) {
        return std::make_unique<spectrino::parity::DibSurface>(width, height);
    });
}
