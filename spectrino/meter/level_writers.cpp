#include "meter/level_writers.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace spectrino {
namespace {

constexpr size_t kFlushBytes = 256 * 1024;

void AppendSeconds(std::string& out, double seconds) {
    char text[32];
    const int n = std::snprintf(text, sizeof text, "%.3f", seconds);
    out.append(text, static_cast<size_t>(n));
}

void AppendList(std::string& out, std::span<const int32_t> levels) {
    out += '[';
    for (size_t i = 0; i < levels.size(); ++i) {
        if (i > 0) {
            out += ',';
        }
        AppendLevel(out, levels[i]);
    }
    out += ']';
}

}  // namespace

void AppendFloat(std::string& out, float value) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    out.append(text, result.ptr);
}

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

RowLayout BandLayout(const BandTable& bands, bool withPeaks) {
    RowLayout layout;
    for (const float centre : bands.BandCentres) {
        std::string name;
        AppendFloat(name, centre);
        layout.columns.push_back(std::move(name));
    }
    layout.groups.push_back({"levels", ""});
    if (withPeaks) {
        layout.groups.push_back({"peaks", "peak "});
    }
    return layout;
}

void LevelWriter::Header(const RowLayout& layout) {
    WriteHeader(layout);
}

void LevelWriter::Row(double seconds, const TSpectArray& levels, const TSpectArray* peaks) {
    if (peaks != nullptr) {
        WriteRow(seconds, {levels, *peaks});
    } else {
        WriteRow(seconds, {levels});
    }
}

void CsvWriter::WriteHeader(const RowLayout& layout) {
    line_ += "time";
    for (const RowLayout::Group& group : layout.groups) {
        for (const std::string& column : layout.columns) {
            line_ += ',';
            line_ += group.csvPrefix;
            line_ += column;
        }
    }
    EndLine();
}

void CsvWriter::WriteRow(double seconds, std::initializer_list<std::span<const int32_t>> groups) {
    AppendSeconds(line_, seconds);
    for (const std::span<const int32_t> group : groups) {
        for (const int32_t level : group) {
            line_ += ',';
            AppendLevel(line_, level);
        }
    }
    EndLine();
}

void CsvWriter::Value(const std::string&, int32_t level) {
    AppendLevel(line_, level);
    EndLine();
}

void JsonLinesWriter::WriteHeader(const RowLayout& layout) {
    // Every line stands alone and names its groups; the band table is available through --bands.
    keys_.clear();
    for (const RowLayout::Group& group : layout.groups) {
        keys_.push_back(",\"" + group.key + "\":");
    }
}

void JsonLinesWriter::WriteRow(double seconds,
                               std::initializer_list<std::span<const int32_t>> groups) {
    line_ += "{\"time\":";
    AppendSeconds(line_, seconds);
    size_t index = 0;
    for (const std::span<const int32_t> group : groups) {
        // Rows of band levels and peaks need no header to name them.
        if (index < keys_.size()) {
            line_ += keys_[index];
        } else {
            line_ += index == 0 ? ",\"levels\":" : ",\"peaks\":";
        }
        AppendList(line_, group);
        ++index;
    }
    line_ += '}';
    EndLine();
}

void JsonLinesWriter::Value(const std::string& key, int32_t level) {
    line_ += "{\"" + key + "\":";
    AppendLevel(line_, level);
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
