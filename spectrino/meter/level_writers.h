// Band levels as text: CSV with a header of band centres, or one JSON object per line.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "core/bandtable.h"
#include "core/level_tracker.h"

namespace spectrino {

// The shortest text that reads back as the same float: "31.5", "1029.6744".
void AppendFloat(std::string& out, float value);

// "-12.34" for -1234: hundredths of a decibel with two decimals, exactly.
void AppendLevel(std::string& out, int32_t level);

// What a row holds: groups of levels side by side (levels and peaks, or Leq, Lmax and Lmin),
// each over the same columns. A group has a JSON key and a prefix for its CSV header cells.
struct RowLayout {
    struct Group {
        std::string key;
        std::string csvPrefix;
    };
    std::vector<std::string> columns;  // band centres or nominal frequencies, as text
    std::vector<Group> groups;
};

// The 128 band centres with a group of levels and, when tracked, one of peaks.
RowLayout BandLayout(const BandTable& bands, bool withPeaks);

// Collects whole lines and hands them to the stream in large pieces, so a reader of the stream
// never sees part of a row.
class LevelWriter {
public:
    explicit LevelWriter(std::ostream& out) : out_(out) {}
    virtual ~LevelWriter() = default;
    LevelWriter(const LevelWriter&) = delete;
    LevelWriter& operator=(const LevelWriter&) = delete;

    void Header(const RowLayout& layout);
    void Header(const BandTable& bands, bool withPeaks) { Header(BandLayout(bands, withPeaks)); }
    // One span per group of the layout, each as long as its columns.
    void Row(double seconds, std::initializer_list<std::span<const int32_t>> groups) {
        WriteRow(seconds, groups);
    }
    // `peaks` is null unless the peak markers are tracked.
    void Row(double seconds, const TSpectArray& levels, const TSpectArray* peaks);
    // A single named level, such as a calibration offset.
    virtual void Value(const std::string& key, int32_t level) = 0;
    // Hands everything collected to the stream and flushes it.
    void Flush();

protected:
    virtual void WriteHeader(const RowLayout& layout) = 0;
    virtual void WriteRow(double seconds,
                          std::initializer_list<std::span<const int32_t>> groups) = 0;
    void EndLine();
    std::string line_;

private:
    std::ostream& out_;
};

class CsvWriter : public LevelWriter {
public:
    using LevelWriter::LevelWriter;
    // The level alone on a line, so a script can take it as it is.
    void Value(const std::string& key, int32_t level) override;

protected:
    void WriteHeader(const RowLayout& layout) override;
    void WriteRow(double seconds, std::initializer_list<std::span<const int32_t>> groups) override;
};

class JsonLinesWriter : public LevelWriter {
public:
    using LevelWriter::LevelWriter;
    void Value(const std::string& key, int32_t level) override;

protected:
    void WriteHeader(const RowLayout& layout) override;
    void WriteRow(double seconds, std::initializer_list<std::span<const int32_t>> groups) override;

private:
    std::vector<std::string> keys_;  // ,"key": for each group of the header's layout
};

enum class OutputFormat : uint8_t { Csv, Json };

std::unique_ptr<LevelWriter> MakeWriter(OutputFormat format, std::ostream& out);

// The band table for a sample rate: index, centre and width in Hz, in the chosen format.
void WriteBandTable(std::ostream& out, float rate, OutputFormat format);

}  // namespace spectrino
