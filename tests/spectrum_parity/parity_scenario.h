// One drawing scenario for both front ends' canvases: two client sizes, both rates, levels
// rising and falling over ticks, peaks held and decaying, three zones with their own
// thresholds and colours, the read-out shown and erased. Each platform renders it into
// snapshots (a binary PPM and the list of text cells); a comparison holds them to equal pixels
// outside the text cells.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/spectrum_canvas.h"

namespace spectrino::parity {

// A picture of a platform's own canvas.
class Surface {
public:
    virtual ~Surface() = default;
    virtual SpectrumCanvas& Canvas() = 0;
    // Drawing calls happen between these two.
    virtual void BeginDrawing() {}
    virtual void EndDrawing() {}
    // 0x00BBGGRR, read after EndDrawing.
    virtual TColor Pixel(int x, int y) = 0;
};
using SurfaceFactory = std::function<std::unique_ptr<Surface>(int width, int height)>;

struct Snapshot {
    std::string Name;
    int Width = 0;
    int Height = 0;
    std::vector<TColor> Pixels;  // row by row from the top
    std::vector<TRect> TextCells;
};

// The names of the snapshots, in the order RenderScenario makes them.
std::vector<std::string> SnapshotNames();
// Every snapshot of the scenario.
std::vector<Snapshot> RenderScenario(const SurfaceFactory& surfaces);

// Writes NAME.ppm and NAME.cells into the directory.
void WriteSnapshot(const std::string& directory, const Snapshot& snapshot);
// Reads them back; throws std::runtime_error for a missing or malformed file.
Snapshot ReadSnapshot(const std::string& directory, const std::string& name);

// The differences between two snapshots of one name outside their text cells, one line each
// ("x,y: #rrggbb vs #rrggbb"), at most `limit` lines, then a count. Empty when equal.
std::vector<std::string> Compare(const Snapshot& a, const Snapshot& b, size_t limit);

// The snapshot program: `DIR` writes the snapshots, `--compare DIR_A DIR_B` compares them.
int SnapshotMain(int argc, char** argv, const SurfaceFactory& surfaces);

}  // namespace spectrino::parity
