#include "meter/level_writers.h"

#include <charconv>
#include <cstdio>

namespace spectrino {
namespace {

constexpr size_t kFlushBytes = 256 * 1024;

void AppendFloat(std::string& out, float value) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    out.append(text, result.ptr);
}

void AppendSeconds(std::string& out, double seconds) {
    char text[32];
    const int n = std::snprintf(text, sizeof text, "%.3f", seconds);
    out.append(text, static_cast<size_t>(n));
}

void AppendList(std::string& out, const TSpectArray& levels) {
    out += '[';
    for (int i = 0; i < kBandCount; ++i) {
        if (i > 0) {
            out += ',';
        }
        AppendLevel(out, levels[static_cast<size_t>(i)]);
    }
    out += ']';
}

}  // namespace

void AppendLevel(std::string& out, int32_t level) {
    const int64_t value = level;
    const uint64_t magnitude = static_cast<uint64_t>(value < 0 ? -value : value);
    if (value < 0) {
        out += '-';
    }
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, magnitude / 100);
    out.append(digits, result.ptr);
    const auto cents = static_cast<char>(magnitude % 100);
    out += '.';
    out += static_cast<char>('0' + cents / 10);
    out += static_cast<char>('0' + cents % 10);
}

void LevelWriter::EndLine() {
    line_ += '\n';
    if (line_.size() >= kFlushBytes) {
        out_.write(line_.data(), static_cast<std::streamsize>(line_.size()));
        line_.clear();
    }
}

void LevelWriter::Flush() {
    out_.write(line_.data(), static_cast<std::streamsize>(line_.size()));
    line_.clear();
    out_.flush();
}

void CsvWriter::Header(const BandTable& bands, bool withPeaks) {
    line_ += "time";
    for (int pass = 0; pass < (withPeaks ? 2 : 1); ++pass) {
        for (const float centre : bands.BandCentres) {
            line_ += pass == 0 ? "," : ",peak ";
            AppendFloat(line_, centre);
        }
    }
    EndLine();
}

void CsvWriter::Row(double seconds, const TSpectArray& levels, const TSpectArray* peaks) {
    AppendSeconds(line_, seconds);
    for (const TSpectArray* list : {&levels, peaks}) {
        if (list == nullptr) {
            continue;
        }
        for (const int32_t level : *list) {
            line_ += ',';
            AppendLevel(line_, level);
        }
    }
    EndLine();
}

void JsonLinesWriter::Header(const BandTable&, bool) {
    // Every line stands alone; the band table is available through --bands.
}

void JsonLinesWriter::Row(double seconds, const TSpectArray& levels, const TSpectArray* peaks) {
    line_ += "{\"time\":";
    AppendSeconds(line_, seconds);
    line_ += ",\"levels\":";
    AppendList(line_, levels);
    if (peaks != nullptr) {
        line_ += ",\"peaks\":";
        AppendList(line_, *peaks);
    }
    line_ += '}';
    EndLine();
}

std::unique_ptr<LevelWriter> MakeWriter(OutputFormat format, std::ostream& out) {
    if (format == OutputFormat::Json) {
        return std::make_unique<JsonLinesWriter>(out);
    }
    return std::make_unique<CsvWriter>(out);
}

void WriteBandTable(std::ostream& out, float rate, OutputFormat format) {
    const BandTable bands = ComputeBands(rate);
    std::string text = format == OutputFormat::Csv ? "band,centre,width\n" : "";
    for (int i = 0; i < kBandCount; ++i) {
        const auto k = static_cast<size_t>(i);
        if (format == OutputFormat::Csv) {
            text += std::to_string(i) + ',';
            AppendFloat(text, bands.BandCentres[k]);
            text += ',';
            AppendFloat(text, bands.BandWidths[k]);
        } else {
            text += "{\"band\":" + std::to_string(i) + ",\"centre\":";
            AppendFloat(text, bands.BandCentres[k]);
            text += ",\"width\":";
            AppendFloat(text, bands.BandWidths[k]);
            text += '}';
        }
        text += '\n';
    }
    out << text << std::flush;
}

}  // namespace spectrino
