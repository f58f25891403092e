// Band levels as text: CSV with a header of band centres, or one JSON object per line.
#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>

#include "core/bandtable.h"
#include "core/level_tracker.h"

namespace spectrino {

// "-12.34" for -1234: hundredths of a decibel with two decimals, exactly.
void AppendLevel(std::string& out, int32_t level);

// Collects whole lines and hands them to the stream in large pieces, so a reader of the stream
// never sees part of a row.
class LevelWriter {
public:
    explicit LevelWriter(std::ostream& out) : out_(out) {}
    virtual ~LevelWriter() = default;
    LevelWriter(const LevelWriter&) = delete;
    LevelWriter& operator=(const LevelWriter&) = delete;

    virtual void Header(const BandTable& bands, bool withPeaks) = 0;
    // `peaks` is null unless the peak markers are tracked.
    virtual void Row(double seconds, const TSpectArray& levels, const TSpectArray* peaks) = 0;
    // Hands everything collected to the stream and flushes it.
    void Flush();

protected:
    void EndLine();
    std::string line_;

private:
    std::ostream& out_;
};

class CsvWriter : public LevelWriter {
public:
    using LevelWriter::LevelWriter;
    void Header(const BandTable& bands, bool withPeaks) override;
    void Row(double seconds, const TSpectArray& levels, const TSpectArray* peaks) override;
};

class JsonLinesWriter : public LevelWriter {
public:
    using LevelWriter::LevelWriter;
    void Header(const BandTable& bands, bool withPeaks) override;
    void Row(double seconds, const TSpectArray& levels, const TSpectArray* peaks) override;
};

enum class OutputFormat : uint8_t { Csv, Json };

std::unique_ptr<LevelWriter> MakeWriter(OutputFormat format, std::ostream& out);

// The band table for a sample rate: index, centre and width in Hz, in the chosen format.
void WriteBandTable(std::ostream& out, float rate, OutputFormat format);

}  // namespace spectrino
