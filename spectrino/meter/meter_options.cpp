#include "meter/meter_options.h"

#include <array>
#include <charconv>
#include <cmath>
#include <string_view>

namespace spectrino {
namespace {

struct Named {
    std::string_view name;
    int32_t code;
};

constexpr std::array<Named, 6> kWindows = {{{"rectangular", 0},
                                            {"blackman", 1},
                                            {"gaussian", 2},
                                            {"blackman-harris", 3},
                                            {"hanning", 4},
                                            {"hamming", 5}}};
constexpr std::array<Named, 4> kInputs = {
    {{"left+right", 1}, {"left", 2}, {"right", 3}, {"left-right", 4}}};
constexpr std::array<Named, 3> kSpeeds = {{{"slow", 0}, {"medium", 1}, {"fast", 2}}};

template <size_t N>
int32_t Choice(std::string_view option, std::string_view value, const std::array<Named, N>& names,
               int32_t firstCode, bool numbersAllowed) {
    for (const Named& named : names) {
        if (value == named.name) {
            return named.code;
        }
    }
    int32_t code = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), code);
    if (numbersAllowed && error == std::errc() && end == value.data() + value.size() &&
        code >= firstCode && code < firstCode + static_cast<int32_t>(N)) {
        return code;
    }
    std::string known;
    for (const Named& named : names) {
        known += known.empty() ? "" : ", ";
        known += named.name;
    }
    throw UsageError("invalid value '" + std::string(value) + "' for " + std::string(option) +
                     " (one of: " + known + ")");
}

uint32_t Rate(std::string_view value) {
    if (value == "44100") {
        return 44100;
    }
    if (value == "48000") {
        return 48000;
    }
    throw UsageError("unsupported sample rate '" + std::string(value) + "' (44100 or 48000)");
}

double Seconds(std::string_view value) {
    double seconds = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), seconds);
    if (error != std::errc() || end != value.data() + value.size() || !std::isfinite(seconds) ||
        seconds <= 0) {
        throw UsageError("invalid duration '" + std::string(value) + "' (seconds, above 0)");
    }
    return seconds;
}

// Decibels as hundredths: offsets and calibrator levels.
int32_t Decibels(std::string_view option, std::string_view value) {
    constexpr double kLimit = 500;
    double db = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), db);
    if (error != std::errc() || end != value.data() + value.size() || !std::isfinite(db) ||
        std::fabs(db) > kLimit) {
        throw UsageError("invalid value '" + std::string(value) + "' for " + std::string(option) +
                         " (decibels, -500 to 500)");
    }
    return static_cast<int32_t>(std::lround(db * 100));
}

constexpr std::array<Named, 3> kWeightings = {{{"A", 1}, {"C", 2}, {"Z", 0}}};
constexpr std::array<Named, 3> kTimes = {{{"fast", 1}, {"slow", 2}, {"leq", 3}}};

}  // namespace

const char* const kMeterUsage =
    "usage: spectrino-meter [options] FILE.wav\n"
    "       spectrino-meter [options] --capture [--device NAME] [--rate HZ] [--duration S]\n"
    "       spectrino-meter --bands [--rate HZ] [--format csv|json]\n"
    "       spectrino-meter --list-devices\n"
    "\n"
    "Writes the 128 band levels in dB every 80 ms of stream time.\n"
    "  --format csv|json     CSV with a header of band centres (default) or JSON lines\n"
    "  --window NAME|0..5    rectangular (default), blackman, gaussian, blackman-harris,\n"
    "                        hanning, hamming\n"
    "  --input NAME|1..4     left+right (default), left, right, left-right\n"
    "  --hold, --decay       levels as the bar graph shows them, with peak hold or peak decay\n"
    "  --speed slow|medium|fast   how fast the bars fall with --hold/--decay (default slow)\n"
    "\n"
    "Measuring (levels in dB; the header or JSON keys name them as IEC does, e.g. LAS):\n"
    "  --weighting A|C|Z     IEC 61672-1 frequency weighting (default Z, none), one\n"
    "                        correction per column at its centre frequency: within half a\n"
    "                        semitone it changes by at most 0.4 dB from 100 Hz up (0.8 dB\n"
    "                        from 16 Hz), so the bands are narrow enough for it\n"
    "  --third-octaves       32 columns, the third octaves 16 Hz .. 20 kHz, each the power\n"
    "                        sum of four bands: bands 4n .. 4n+3 for third octave n (0 is\n"
    "                        16 Hz); at 48000 Hz the band table lies a semitone higher, so\n"
    "                        bands 4n-1 .. 4n+2 (16 Hz: bands 0 .. 2; band 127 unused)\n"
    "  --time fast|slow|leq  time weighting of the band powers: exponential F (125 ms) or\n"
    "                        S (1 s), or the equivalent level from the start\n"
    "  --summary             one row at the end: Leq, Lmax and Lmin of every column (Lmax\n"
    "                        and Lmin of the F or S levels when --time fast or slow)\n"
    "  --offset DB           added to every level: dB on this scale to dB SPL\n"
    "  --calibrate LEVEL     print the offset that makes the input's steady tone read LEVEL\n"
    "                        dB (e.g. 94 for a 94 dB calibrator); refuses clipped input or\n"
    "                        input without a single dominant tone\n"
    "\n"
    "  --capture             measure a capture device instead of a file\n"
    "  --device NAME         capture device (default WaveMapper); implies --capture\n"
    "  --rate 44100|48000    capture rate and band table rate (default 44100)\n"
    "  --duration SECONDS    stop capturing after this much audio\n"
    "  --bands               print the band table and exit\n"
    "  --list-devices        print the capture devices and exit\n";

MeterOptions ParseMeterOptions(const std::vector<std::string>& args) {
    MeterOptions options;
    bool capture = false;
    bool bands = false;
    bool list = false;
    bool help = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&]() -> std::string_view {
            if (i + 1 >= args.size()) {
                throw UsageError("missing value for " + arg);
            }
            return args[++i];
        };
        if (arg == "--format") {
            const std::string_view v = value();
            if (v == "csv") {
                options.format = OutputFormat::Csv;
            } else if (v == "json") {
                options.format = OutputFormat::Json;
            } else {
                throw UsageError("invalid value '" + std::string(v) +
                                 "' for --format (csv or json)");
            }
        } else if (arg == "--window") {
            options.settings.windowType = Choice(arg, value(), kWindows, 0, true);
        } else if (arg == "--input") {
            options.settings.inputMode = Choice(arg, value(), kInputs, 1, true);
        } else if (arg == "--speed") {
            options.settings.decaySpeed =
                static_cast<TDecaySpeed>(Choice(arg, value(), kSpeeds, 0, false));
        } else if (arg == "--hold" || arg == "--decay") {
            const TPeakDisplay display =
                arg == "--hold" ? TPeakDisplay::pdHold : TPeakDisplay::pdDecay;
            if (options.settings.peakDisplay && *options.settings.peakDisplay != display) {
                throw UsageError("--hold and --decay exclude each other");
            }
            options.settings.peakDisplay = display;
        } else if (arg == "--weighting") {
            options.settings.weighting =
                static_cast<FrequencyWeighting>(Choice(arg, value(), kWeightings, 0, false));
        } else if (arg == "--time") {
            options.settings.timeWeighting =
                static_cast<TimeWeighting>(Choice(arg, value(), kTimes, 0, false));
        } else if (arg == "--third-octaves") {
            options.settings.thirdOctaves = true;
        } else if (arg == "--summary") {
            options.settings.summary = true;
        } else if (arg == "--offset") {
            options.settings.offset = Decibels(arg, value());
        } else if (arg == "--calibrate") {
            options.settings.calibrate = Decibels(arg, value());
        } else if (arg == "--capture") {
            capture = true;
        } else if (arg == "--device") {
            options.device = std::string(value());
            capture = true;
        } else if (arg == "--rate") {
            options.rate = Rate(value());
        } else if (arg == "--duration") {
            options.duration = Seconds(value());
        } else if (arg == "--bands") {
            bands = true;
        } else if (arg == "--list-devices") {
            list = true;
        } else if (arg == "--help" || arg == "-h") {
            help = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            throw UsageError("unknown option " + arg);
        } else if (!options.file.empty()) {
            throw UsageError("more than one input file");
        } else {
            options.file = arg;
        }
    }
    const MeterSettings& settings = options.settings;
    if (settings.peakDisplay && (settings.Measuring() || settings.calibrate)) {
        throw UsageError(
            "--hold and --decay show the bar graph; they do not combine with --weighting, "
            "--third-octaves, --time, --summary, --offset or --calibrate");
    }
    if (settings.calibrate && settings.Measuring()) {
        throw UsageError(
            "--calibrate measures the unweighted band of the tone; it does not combine with "
            "--weighting, --third-octaves, --time, --summary or --offset");
    }
    const int inputs =
        (capture ? 1 : 0) + (options.file.empty() ? 0 : 1) + (bands ? 1 : 0) + (list ? 1 : 0);
    if (help) {
        options.mode = MeterMode::Help;
    } else if (inputs == 0) {
        throw UsageError("no input: give a WAV file, --capture, --bands or --list-devices");
    } else if (inputs > 1) {
        throw UsageError("choose one of: a WAV file, --capture, --bands, --list-devices");
    } else if (bands) {
        options.mode = MeterMode::Bands;
    } else if (list) {
        options.mode = MeterMode::ListDevices;
    } else if (capture) {
        options.mode = MeterMode::Capture;
    } else {
        options.mode = MeterMode::File;
    }
    return options;
}

}  // namespace spectrino
