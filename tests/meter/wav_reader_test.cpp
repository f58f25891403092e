#include "meter/wav_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <random>
#include <sstream>

#include "meter/wav_builder.h"

namespace spectrino {
namespace {

using test::MakeWav;
using test::WavLayout;

struct Decoded {
    WavFormat format;
    std::vector<float> left;
    std::vector<float> right;
};

Decoded Decode(const std::string& bytes, size_t framesPerRead = 3) {
    std::istringstream in(bytes);
    WavReader reader(in, bytes.size());
    Decoded out{reader.Format(), {}, {}};
    std::vector<float> l(framesPerRead);
    std::vector<float> r(framesPerRead);
    while (const size_t n = reader.ReadFrames(l.data(), r.data(), framesPerRead)) {
        out.left.insert(out.left.end(), l.begin(), l.begin() + static_cast<ptrdiff_t>(n));
        out.right.insert(out.right.end(), r.begin(), r.begin() + static_cast<ptrdiff_t>(n));
    }
    return out;
}

std::string ErrorOf(const std::string& bytes) {
    try {
        Decode(bytes);
    } catch (const WavError& error) {
        return error.what();
    }
    return "";
}

TEST(WavReaderTest, DecodesEverySupportedFormatAtFullScale) {
    // Full-scale negative, a half, a value only the wider formats resolve, and zero.
    const std::vector<double> left = {-1.0, 0.5, std::ldexp(1.0, -20), 0.0};
    const std::vector<double> right = {0.25, -0.5, -1.0, 0.75};
    std::vector<double> stereo;
    for (size_t i = 0; i < left.size(); ++i) {
        stereo.push_back(left[i]);
        stereo.push_back(right[i]);
    }
    for (const bool extensible : {false, true}) {
        for (const auto& [tag, bits] :
             {std::pair<uint16_t, uint16_t>{1, 16}, {1, 24}, {1, 32}, {3, 32}}) {
            SCOPED_TRACE(testing::Message()
                         << "tag " << tag << " bits " << bits << " ext " << extensible);
            const WavLayout layout{tag, 2, 48000, bits, extensible};
            const Decoded d = Decode(MakeWav(layout, stereo));
            EXPECT_EQ(d.format.sampleRate, 48000u);
            EXPECT_EQ(d.format.frameCount, 4u);
            ASSERT_EQ(d.left.size(), 4u);
            for (size_t i = 0; i < 4; ++i) {
                // 16 bits cannot hold 2^-20: it rounds to 0.
                const double expected = bits == 16 && i == 2 ? 0.0 : left[i];
                EXPECT_EQ(d.left[i], static_cast<float>(expected)) << i;
                EXPECT_EQ(d.right[i], static_cast<float>(right[i])) << i;
            }
        }
    }
    // Mono feeds both channels; the largest positive 16-bit value is just below 1.
    const Decoded mono = Decode(MakeWav({1, 1, 44100, 16, false}, {1.0, -0.25}));
    EXPECT_EQ(mono.left, (std::vector<float>{32767.0f / 32768.0f, -0.25f}));
    EXPECT_EQ(mono.right, mono.left);
}

TEST(WavReaderTest, SkipsForeignChunksIncludingTheirPadByte) {
    const WavLayout layout;
    std::string list = "LIST";
    test::Put32(list, 3);
    list += "abc";
    list += '\0';  // pad to an even size
    const std::string bytes =
        test::Riff(list + test::FmtChunk(layout) + "junk" + std::string("\x01\0\0\0x\0", 6) +
                   test::DataChunk(test::EncodeSamples(layout, {0.5, -0.5})));
    const Decoded d = Decode(bytes);
    EXPECT_EQ(d.left, std::vector<float>{0.5f});
    EXPECT_EQ(d.right, std::vector<float>{-0.5f});
}

TEST(WavReaderTest, RejectsWhatItCannotReadWithAMessageThatSaysWhy) {
    const WavLayout good;
    const std::string fmt = test::FmtChunk(good);
    const std::string data = test::DataChunk(test::EncodeSamples(good, {0.1, 0.2, 0.3, 0.4}));
    const std::string valid = test::Riff(fmt + data);
    std::string dataTooLong = valid;
    dataTooLong.resize(dataTooLong.size() - 2);
    std::string fmtTooSmall = fmt;
    fmtTooSmall[4] = 14;
    std::string badAlign = fmt;
    badAlign[20] = 3;  // block align 3 for 16-bit stereo
    const std::string partialFrame =
        test::Riff(fmt + test::DataChunk(test::EncodeSamples(good, {0.1, 0.2, 0.3})));

    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "too short"},
        {std::string("RIFX\x10\0\0\0WAVEfmt ", 16), "no RIFF/WAVE"},
        {std::string(valid).replace(8, 4, "AVI "), "no RIFF/WAVE"},
        {test::Riff(""), "no fmt chunk"},
        {test::Riff(fmt), "no data chunk"},
        {test::Riff(data + fmt), "data chunk before the fmt chunk"},
        {test::Riff(fmt + fmt + data), "more than one fmt"},
        {valid.substr(0, 30), "truncated"},
        {dataTooLong, "truncated"},
        {test::Riff(fmtTooSmall.substr(0, 22) + data), "fmt chunk too small"},
        {test::Riff(badAlign + data), "frame size"},
        {partialFrame, "inside a frame"},
        {MakeWav({1, 2, 44100, 8, false}, {0.0, 0.0}), "8 bits"},
        {MakeWav({3, 2, 44100, 16, false}, {}), "unsupported WAV format"},
        {MakeWav({6, 2, 44100, 16, false}, {}), "format tag 6"},
        {MakeWav({1, 3, 44100, 16, false}, {0, 0, 0}), "3 channels"},
        {MakeWav({1, 2, 22050, 16, false}, {0, 0}), "22050 Hz"},
        {MakeWav({1, 2, 96000, 24, false}, {0, 0}), "96000 Hz"},
    };
    for (const auto& [bytes, fragment] : cases) {
        const std::string message = ErrorOf(bytes);
        EXPECT_NE(message.find(fragment), std::string::npos)
            << "expected '" << fragment << "', got '" << message << "'";
    }
    std::string badGuid = MakeWav({1, 2, 44100, 16, true}, {0, 0});
    badGuid[12 + 8 + 30] = 0x11;
    EXPECT_NE(ErrorOf(badGuid).find("sub-format"), std::string::npos);
}

TEST(WavReaderTest, RefusesFloatSamplesThatAreNotNumbersNamingTheFirstBadFrame) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    // 20000 stereo frames span more than one read; the bad ones sit in the second.
    std::vector<double> samples(40000, 0.5);
    samples[2 * 17000 + 1] = nan;  // right channel
    samples[2 * 19000] = inf;
    EXPECT_EQ(ErrorOf(MakeWav({3, 2, 44100, 32, false}, samples)),
              "invalid sample: frame 17000 (at 0.385 s) holds NaN; float samples must be finite "
              "numbers");
    samples[2 * 17000 + 1] = -1e30;  // loud, but a number
    EXPECT_NE(ErrorOf(MakeWav({3, 2, 44100, 32, true}, samples))
                  .find("frame 19000 (at 0.431 s) "
                        "holds an infinite value"),
              std::string::npos);
    EXPECT_NE(ErrorOf(MakeWav({3, 1, 48000, 32, false}, {0.0, 0.0, -inf})).find("frame 2 "),
              std::string::npos);

    // A file that passes reads from its first frame, huge values as they are.
    samples[2 * 19000] = 1e30;
    const std::string wav = MakeWav({3, 2, 44100, 32, false}, samples);
    std::istringstream in(wav);
    WavReader reader(in, wav.size());
    std::vector<float> left(20000), right(20000);
    ASSERT_EQ(reader.ReadFrames(left.data(), right.data(), 20000), 20000u);
    EXPECT_EQ(left[0], 0.5f);
    EXPECT_EQ(right[17000], -1e30f);
    EXPECT_EQ(left[19000], 1e30f);
}

TEST(WavReaderTest, RandomlyCorruptedFilesEitherReadWholeOrFailCleanly) {
    std::vector<double> samples(600);
    for (size_t i = 0; i < samples.size(); ++i) {
        samples[i] = std::sin(0.01 * static_cast<double>(i));
    }
    std::vector<std::string> seeds;
    for (const auto& [tag, bits] : {std::pair<uint16_t, uint16_t>{1, 16}, {1, 24}, {3, 32}}) {
        seeds.push_back(MakeWav({tag, 2, 44100, bits, tag == 1 && bits == 24}, samples));
    }
    std::mt19937 random(20261207);
    int failures = 0;
    int reads = 0;
    for (int round = 0; round < 3000; ++round) {
        std::string bytes = seeds[static_cast<size_t>(round) % seeds.size()];
        const int edits = 1 + static_cast<int>(random() % 4);
        for (int e = 0; e < edits; ++e) {
            // Mostly hit the header, where the decisions are made.
            const size_t span =
                random() % 4 == 0 ? bytes.size() : std::min<size_t>(bytes.size(), 80);
            const size_t at = span == 0 ? 0 : random() % span;
            switch (random() % 4) {
                case 0:
                    if (at < bytes.size())
                        bytes[at] = static_cast<char>(random());
                    break;
                case 1:
                    bytes.resize(at);
                    break;
                case 2:
                    bytes.insert(at, 1 + random() % 8, static_cast<char>(random()));
                    break;
                default:
                    if (at + 4 <= bytes.size()) {  // a size field set to something large
                        bytes.replace(at, 4, "\xF0\xFF\xFF\x7F", 4);
                    }
                    break;
            }
        }
        try {
            const Decoded d = Decode(bytes, 1 + random() % 700);
            ++reads;
            ASSERT_EQ(d.left.size(), d.format.frameCount);
            // Whatever was accepted fits in the bytes that were there.
            ASSERT_LE(d.format.frameCount * d.format.blockAlign, bytes.size());
        } catch (const WavError& error) {
            ++failures;
            ASSERT_NE(std::string(error.what()), "");
        }
    }
    // Both outcomes must actually occur, or the corruption is too mild or too wild.
    EXPECT_GT(failures, 300);
    EXPECT_GT(reads, 300);
}

}  // namespace
}  // namespace spectrino
