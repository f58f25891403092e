#include "parity_scenario.h"

#include <cstdio>
#include <exception>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>

#include "core/bandlevel.h"
#include "core/spectrum_renderer.h"
#include "fixed_metrics_canvas.h"

namespace spectrino::parity {

namespace {

struct Case {
    const char* Name;
    int Width;
    int Height;
    float Rate;
    TPeakDisplay Peaks;
    TDecaySpeed Speed;
};

constexpr Case kCases[] = {
    {"w456_44100_decay", 456, 240, 44100.0f, TPeakDisplay::pdDecay, TDecaySpeed::dsMedium},
    {"w456_48000_hold", 456, 240, 48000.0f, TPeakDisplay::pdHold, TDecaySpeed::dsSlow},
    {"w717_48000_decay", 717, 333, 48000.0f, TPeakDisplay::pdDecay, TDecaySpeed::dsFast},
    {"w717_44100_hold", 717, 333, 44100.0f, TPeakDisplay::pdHold, TDecaySpeed::dsMedium},
};
constexpr int kTicks = 14;
constexpr int kReadoutShownAfter = 9;  // the first snapshot, read-out on screen
constexpr int kReadoutClearedAt = 11;

// Each band runs a triangle of its own phase between -78 dB and about +2 dB, so bars rise,
// fall by their decay step, pass every zone, leave the scale at both ends and leave peaks
// behind.
int32_t LevelAt(int band, int tick) {
    const int phase = (band * 7 + tick * 3) % 40;
    const int triangle = phase < 20 ? phase : 40 - phase;
    return -7800 + triangle * 400 + (band % 5) * 50;
}

void Configure(SpectrumRenderer& renderer, const Case& c) {
    renderer.SetSamplerate(c.Rate);
    renderer.Tracker().SetPeakDisplay(c.Peaks);
    renderer.Tracker().SetDecaySpeed(c.Speed);
    renderer.SetColor(0x281810);
    renderer.SetHighColor(0x4030F0);
    renderer.SetMidColor(0x20C0E0);
    renderer.SetLowColor(0x40A040);
    renderer.SetHighTreshhold(-6);
    renderer.SetMidTreshhold(-31);
    renderer.SetScaleColor(0x909090);
    renderer.SetSeperatorColor(0x000070);
    renderer.SetNotationFontColor(0xF0F0FF);
    renderer.SetSeperatorFontColor(0xF0F0FF);
}

std::string ReadoutFrequency(double centre) {
    char text[64];
    std::snprintf(text, sizeof text, "%.15g Hz", centre);
    return text;
}

Snapshot Take(const std::string& name, Surface& surface, const FixedMetricsCanvas& canvas) {
    Snapshot snapshot;
    snapshot.Name = name;
    snapshot.Width = canvas.Width();
    snapshot.Height = canvas.Height();
    snapshot.Pixels.reserve(static_cast<size_t>(snapshot.Width) * snapshot.Height);
    for (int y = 0; y < snapshot.Height; ++y) {
        for (int x = 0; x < snapshot.Width; ++x) {
            snapshot.Pixels.push_back(surface.Pixel(x, y));
        }
    }
    snapshot.TextCells = canvas.TextCells();
    return snapshot;
}

void RenderCase(const Case& c, const SurfaceFactory& surfaces, std::vector<Snapshot>& out) {
    std::unique_ptr<Surface> surface = surfaces(c.Width, c.Height);
    FixedMetricsCanvas canvas(surface->Canvas());
    SpectrumRenderer renderer;
    // A drawing failure is a difference the comparison would not explain.
    renderer.OnDebugOutput = [](const std::string& line) { throw std::runtime_error(line); };
    Configure(renderer, c);
    int tick = 0;
    const SpectrumRenderer::RefreshHandler refresh = [&tick](TSpectArray& values) {
        for (int band = 0; band < kBandCount; ++band) {
            values[band] = LevelAt(band, tick);
        }
    };
    surface->BeginDrawing();
    renderer.Paint(canvas, refresh);
    for (tick = 1; tick <= kTicks; ++tick) {
        if (tick == 3) {
            // A pointer over the plot; the next tick draws the texts.
            const int x = renderer.BarLeft(64) + 1;
            const int y = renderer.TopMargin() + 40;
            const auto reading = renderer.ReadingAt(x, y, c.Width, c.Height);
            if (!reading) {
                throw std::runtime_error("the pointer missed the plot");
            }
            renderer.SetReadout(ReadoutFrequency(reading->Centre), reading->Level);
        }
        if (tick == kReadoutClearedAt) {
            renderer.SetReadout({}, {});
        }
        renderer.Tick(canvas, refresh);
        if (tick == kReadoutShownAfter) {
            surface->EndDrawing();
            out.push_back(Take(std::string(c.Name) + "_readout", *surface, canvas));
            surface->BeginDrawing();
        }
    }
    surface->EndDrawing();
    out.push_back(Take(std::string(c.Name) + "_end", *surface, canvas));
}

std::string Hex(TColor color) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", color & 0xFF, (color >> 8) & 0xFF,
                  (color >> 16) & 0xFF);
    return text;
}

std::string PathOf(const std::string& directory, const std::string& name, const char* suffix) {
    return directory + "/" + name + suffix;
}

}  // namespace

std::vector<std::string> SnapshotNames() {
    std::vector<std::string> names;
    for (const Case& c : kCases) {
        names.push_back(std::string(c.Name) + "_readout");
        names.push_back(std::string(c.Name) + "_end");
    }
    return names;
}

std::vector<Snapshot> RenderScenario(const SurfaceFactory& surfaces) {
    std::vector<Snapshot> snapshots;
    for (const Case& c : kCases) {
        RenderCase(c, surfaces, snapshots);
    }
    return snapshots;
}

void WriteSnapshot(const std::string& directory, const Snapshot& snapshot) {
    std::ofstream image(PathOf(directory, snapshot.Name, ".ppm"), std::ios::binary);
    image << "P6\n" << snapshot.Width << ' ' << snapshot.Height << "\n255\n";
    for (const TColor color : snapshot.Pixels) {
        const char rgb[3] = {static_cast<char>(color & 0xFF), static_cast<char>(color >> 8),
                             static_cast<char>(color >> 16)};
        image.write(rgb, 3);
    }
    std::ofstream cells(PathOf(directory, snapshot.Name, ".cells"));
    for (const TRect& cell : snapshot.TextCells) {
        cells << cell.Left << ' ' << cell.Top << ' ' << cell.Right << ' ' << cell.Bottom << '\n';
    }
    if (!image || !cells) {
        throw std::runtime_error("cannot write " + PathOf(directory, snapshot.Name, ".*"));
    }
}

Snapshot ReadSnapshot(const std::string& directory, const std::string& name) {
    Snapshot snapshot;
    snapshot.Name = name;
    const std::string imagePath = PathOf(directory, name, ".ppm");
    std::ifstream image(imagePath, std::ios::binary);
    std::string magic;
    int maximum = 0;
    image >> magic >> snapshot.Width >> snapshot.Height >> maximum;
    image.get();
    if (!image || magic != "P6" || maximum != 255 || snapshot.Width <= 0 || snapshot.Height <= 0) {
        throw std::runtime_error("not a snapshot picture: " + imagePath);
    }
    const size_t count = static_cast<size_t>(snapshot.Width) * snapshot.Height;
    snapshot.Pixels.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        unsigned char rgb[3];
        if (!image.read(reinterpret_cast<char*>(rgb), 3)) {
            throw std::runtime_error("truncated picture: " + imagePath);
        }
        snapshot.Pixels.push_back(rgb[0] | (rgb[1] << 8) | (rgb[2] << 16));
    }
    const std::string cellsPath = PathOf(directory, name, ".cells");
    std::ifstream cells(cellsPath);
    if (!cells) {
        throw std::runtime_error("missing " + cellsPath);
    }
    TRect cell;
    while (cells >> cell.Left >> cell.Top >> cell.Right >> cell.Bottom) {
        snapshot.TextCells.push_back(cell);
    }
    return snapshot;
}

std::vector<std::string> Compare(const Snapshot& a, const Snapshot& b, size_t limit) {
    std::vector<std::string> differences;
    if (a.Width != b.Width || a.Height != b.Height) {
        differences.push_back("sizes differ: " + std::to_string(a.Width) + "x" +
                              std::to_string(a.Height) + " vs " + std::to_string(b.Width) + "x" +
                              std::to_string(b.Height));
        return differences;
    }
    if (a.TextCells != b.TextCells) {
        // Equal metrics give equal cells; anything else is a layout difference.
        differences.push_back("text cells differ: " + std::to_string(a.TextCells.size()) + " vs " +
                              std::to_string(b.TextCells.size()));
        return differences;
    }
    std::vector<bool> masked(a.Pixels.size(), false);
    for (const TRect& cell : a.TextCells) {
        for (int y = std::max(cell.Top, 0); y < std::min(cell.Bottom, a.Height); ++y) {
            for (int x = std::max(cell.Left, 0); x < std::min(cell.Right, a.Width); ++x) {
                masked[static_cast<size_t>(y) * a.Width + x] = true;
            }
        }
    }
    size_t count = 0;
    for (size_t i = 0; i < a.Pixels.size(); ++i) {
        if (masked[i] || a.Pixels[i] == b.Pixels[i]) {
            continue;
        }
        if (++count <= limit) {
            const int x = static_cast<int>(i % a.Width);
            const int y = static_cast<int>(i / a.Width);
            differences.push_back(std::to_string(x) + "," + std::to_string(y) + ": " +
                                  Hex(a.Pixels[i]) + " vs " + Hex(b.Pixels[i]));
        }
    }
    if (count > 0) {
        differences.push_back(std::to_string(count) + " pixels differ");
    }
    return differences;
}

namespace {

int CompareDirectories(const std::string& first, const std::string& second,
                       const std::vector<std::string>& names) {
    std::cout << "Comparing " << first << " (left) with " << second << " (right)\n";
    int failures = 0;
    for (const std::string& name : names) {
        const std::vector<std::string> differences =
            Compare(ReadSnapshot(first, name), ReadSnapshot(second, name), 10);
        if (differences.empty()) {
            std::cout << name << ": equal outside the text cells\n";
            continue;
        }
        ++failures;
        std::cout << name << ": DIFFERENT\n";
        for (const std::string& line : differences) {
            std::cout << "  " << line << '\n';
        }
    }
    return failures == 0 ? 0 : 1;
}

}  // namespace

int SnapshotMain(int argc, char** argv, const SurfaceFactory& surfaces) {
    try {
        const std::vector<std::string> args(argv + 1, argv + argc);
        if (args.size() == 3 && args[0] == "--compare") {
            return CompareDirectories(args[1], args[2], SnapshotNames());
        }
        if (args.size() != 1) {
            std::cerr << "usage: " << argv[0] << " DIRECTORY | --compare DIR_A DIR_B\n";
            return 2;
        }
        for (const Snapshot& snapshot : RenderScenario(surfaces)) {
            WriteSnapshot(args[0], snapshot);
        }
        return 0;
    } catch (const std::exception& error) {
        std::cerr << error.what() << '\n';
        return 1;
    }
}

}  // namespace spectrino::parity
