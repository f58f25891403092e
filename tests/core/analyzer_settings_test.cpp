// Settings survive a restart through the registry; damaged or odd values never stop the rest.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>

#include "fake_analyzer_window.h"

namespace {

using namespace spectrino;
using namespace spectrino_test;
using platform::Access;
using platform::RegistryKey;
using platform::RootKey;

TEST_F(AnalyzerTest, EverySettingSurvivesARestart) {
    {
        Instance& a = Shown();
        EXPECT_EQ(a.analyzer->CurrentDevice(), nullptr);  // first run: nothing stored
        a.analyzer->SetAudioDevice(2);
        a.analyzer->SetSamplerate(48000);
        a.analyzer->SetPeakHold();
        a.analyzer->SetDecayTime(2);
        a.analyzer->SetWindowType(3);
        a.analyzer->SetInputMode(4);
        a.spectrum.SetHighColor(0x102030);
        a.spectrum.SetMidColor(0x405060);
        a.spectrum.SetLowColor(0x708090);
        a.analyzer->SetHighTresh(-6);
        a.analyzer->SetMidTresh(-30);
        a.analyzer->Command(cmAlwaysOnTop);
        a.window.normal = TBox{100, 120, 500, 400};
        Close(a);
    }
    EXPECT_EQ(key.Stored("Topmost"), 1u);
    Instance& a = Shown();
    EXPECT_EQ(a.analyzer->CurrentDevice(), a.analyzer->Devices()[2].get());
    EXPECT_EQ(wave.OpenRate(), 48000u);
    EXPECT_EQ(a.analyzer->Samplerate(), 48000);
    EXPECT_EQ(a.window.CheckedOf(cmRate44100, cmRate48000), std::vector<int>{1});
    EXPECT_EQ(a.spectrum.PeakDisplay(), TPeakDisplay::pdHold);
    EXPECT_EQ(a.window.CheckedOf(cmPeakHold, cmPeakDecay), std::vector<int>{0});
    EXPECT_EQ(a.window.CheckedOf(cmDecayTime + 1, cmDecayTime + 3), std::vector<int>{1});
    EXPECT_EQ(a.analyzer->WindowType(), 3);
    EXPECT_EQ(a.window.CheckedOf(cmWindowing, cmWindowing + 5), std::vector<int>{3});
    EXPECT_EQ(a.analyzer->InputMode(), 4);
    EXPECT_EQ(a.spectrum.HighColor(), 0x102030u);
    EXPECT_EQ(a.spectrum.MidColor(), 0x405060u);
    EXPECT_EQ(a.spectrum.LowColor(), 0x708090u);
    EXPECT_EQ(a.spectrum.HighTreshhold(), -6);
    EXPECT_EQ(a.spectrum.MidTreshhold(), -30);
    EXPECT_TRUE(a.window.Checked(cmAlwaysOnTop));
    EXPECT_TRUE(a.window.topmost);
    EXPECT_EQ(a.window.normal, (TBox{100, 120, 500, 400}));
    EXPECT_EQ(a.window.caption, "Analyzer Test [Monitor of TestSink]");
}

TEST_F(AnalyzerTest, OddStoredValuesFallBackOneByOne) {
    key.Store([](RegistryKey& k) {
        k.WriteInteger("PeakHold", 2);
        k.WriteInteger("DecayTime", 7);
        k.WriteInteger("WindowType", 9);
        k.WriteInteger("HighTresh", 0);
        k.WriteInteger("MidTresh", static_cast<uint32_t>(-3));
        k.WriteInteger("HighColor", 0);
        k.WriteInteger("MidColor", 0x00FF00);
        k.WriteString("Samplerate", "48000");  // wrong type: ignored
        k.WriteInteger("InputMode", 3);
        k.WriteInteger("TOPMOST", 1);
        k.WriteString("Device", "");
    });
    {
        Instance& a = Shown();
        EXPECT_EQ(a.spectrum.PeakDisplay(), TPeakDisplay::pdDecay);
        EXPECT_EQ(a.window.CheckedOf(cmDecayTime + 1, cmDecayTime + 3), std::vector<int>{0});
        EXPECT_EQ(a.analyzer->DecayTime(), 7);
        EXPECT_EQ(a.window.CheckedOf(cmWindowing, cmWindowing + 5), std::vector<int>{0});
        EXPECT_EQ(a.analyzer->WindowType(), 9);
        EXPECT_EQ(a.spectrum.HighTreshhold(), -10);
        EXPECT_EQ(a.spectrum.MidTreshhold(), -3);
        EXPECT_EQ(a.spectrum.HighColor(), 0x0000FFu);
        EXPECT_EQ(a.spectrum.MidColor(), 0x00FF00u);
        EXPECT_EQ(a.analyzer->Samplerate(), 44100);
        EXPECT_EQ(a.analyzer->InputMode(), 3);
        EXPECT_TRUE(a.window.topmost);
        // An empty stored device selects the first entry.
        EXPECT_EQ(a.analyzer->CurrentDevice(), a.analyzer->Devices()[0].get());
        Close(a);
    }
    EXPECT_EQ(key.Stored("DecayTime"), 7u);
    EXPECT_EQ(key.Stored("WindowType"), 9u);
    EXPECT_EQ(key.Stored("Samplerate"), 44100u);

    key.Store([](RegistryKey& k) { k.WriteInteger("HighTresh", 5); });
    EXPECT_EQ(Shown().spectrum.HighTreshhold(), -10);
}

TEST_F(AnalyzerTest, WindowStateComesBack) {
    key.Store([](RegistryKey& k) { k.WriteInteger("State", 2); });
    {
        Instance& a = Shown();
        EXPECT_EQ(a.window.state, TWindowState::Maximized);
        Close(a);
    }
    EXPECT_EQ(key.Stored("State"), 2u);
    key.Store([](RegistryKey& k) { k.WriteInteger("State", 1); });
    {
        Instance& a = Shown();
        EXPECT_EQ(a.window.state, TWindowState::Minimized);
        Close(a);
    }
    EXPECT_EQ(key.Stored("State"), 1u);
    key.Store([](RegistryKey& k) { k.WriteInteger("State", 0); });
    EXPECT_EQ(Shown().window.state, TWindowState::Normal);
}

TEST_F(AnalyzerTest, NoDeviceSelectedIsStoredAsEmptyAtTheFittedDesignPlace) {
    {
        Instance& a = Start();
        // A screen narrower than the design place reaches: the window is moved in.
        a.window.screens = {{0, 0, 1024, 768}};
        a.analyzer->Show();
        Close(a);
    }
    auto stored = key.Open(Access::Read);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->ReadString("Device"), "");
    EXPECT_EQ(stored->ReadInteger("Samplerate"), 44100u);
    EXPECT_EQ(stored->ReadInteger("Width"), 464u);
    EXPECT_EQ(stored->ReadInteger("Left"), 1024u - 464u);
    EXPECT_EQ(stored->ReadInteger("Top"), 290u);
    EXPECT_EQ(stored->ReadInteger("OuterRect"), 1u);
    EXPECT_EQ(stored->ReadInteger("Topmost"), 0u);
}

TEST_F(AnalyzerTest, AStoredPlaceIsTheOuterRectangleFittedToTheScreen) {
    const TFrame frame{4, 30, 4, 4};
    // Values an earlier version stored were the client area: the window shows where it was,
    // and its outer rectangle is stored from then on.
    key.Store([](RegistryKey& k) {
        k.WriteInteger("Left", 100);
        k.WriteInteger("Top", 120);
        k.WriteInteger("Width", 500);
        k.WriteInteger("Height", 400);
    });
    {
        Instance& a = Start();
        a.window.frame = frame;
        a.analyzer->Show();
        EXPECT_EQ(a.window.placements.back(), std::make_pair(TBox{96, 90, 508, 434}, false));
        Close(a);
    }
    EXPECT_EQ(key.Stored("Left"), 96u);
    EXPECT_EQ(key.Stored("Width"), 508u);
    for (int pass = 0; pass < 2; ++pass) {
        Instance& a = Start();
        a.window.frame = frame;
        a.analyzer->Show();
        EXPECT_EQ(a.window.placements.back(), std::make_pair(TBox{96, 90, 508, 434}, true));
        Close(a);
    }

    // Too large for the screen, or far outside it: moved in, no larger than the screen.
    key.Store([](RegistryKey& k) {
        k.WriteInteger("Width", 100000);
        k.WriteInteger("Height", 100000);
    });
    EXPECT_EQ(Shown().window.normal, (TBox{0, 0, 1600, 1200}));
    key.Store([](RegistryKey& k) {
        k.WriteInteger("Left", 0x7FFFFFFF);
        k.WriteInteger("Top", 0x7FFFFFFF);
        k.WriteInteger("Width", 500);
        k.WriteInteger("Height", 300);
    });
    EXPECT_EQ(Shown().window.normal, (TBox{1100, 900, 500, 300}));
    key.Store([](RegistryKey& k) {
        k.WriteInteger("Left", 0x80000000u);
        k.WriteInteger("Top", 0x80000000u);
    });
    EXPECT_EQ(Shown().window.normal, (TBox{0, 0, 500, 300}));
}

TEST_F(AnalyzerTest, SettingsThatCannotBeSavedAreReportedOnceWithWhere) {
#if defined(_WIN32)
    // A key name longer than the registry takes.
    const std::string company(300, 'x');
    const std::string where = "HKEY_CURRENT_USER\\Software\\" + company;
#else
    // A file where the settings folder should be: not even root can create it.
    std::ofstream(key.Directory() / "file") << "x";
    spectrino::test::SetEnv("SPECTRINO_REGISTRY_DIR",
                            (key.Directory() / "file" / "registry").string());
    const std::string where = platform::HiveFilePath(RootKey::CurrentUser);
    ASSERT_FALSE(where.empty());
#endif
    {
        Instance& a = Shown();
#if defined(_WIN32)
        AppCompanyName = company;
#endif
        a.analyzer->SetDecayTime(3);
        Close(a);
    }
    ASSERT_EQ(shown.Messages().size(), 1u);
    EXPECT_NE(shown.Messages()[0].find(where), std::string::npos) << shown.Messages()[0];
    const std::vector<std::string> lines = quiet.Lines();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [&](const std::string& line) {
                                return line.starts_with("settings not saved: " + where);
                            }),
              1);

    // Where saving works, nothing is said.
#if !defined(_WIN32)
    spectrino::test::SetEnv("SPECTRINO_REGISTRY_DIR", key.Directory().string());
#endif
    Close(Shown());
    EXPECT_EQ(shown.Messages().size(), 1u);
    EXPECT_EQ(key.Stored("DecayTime"), 1u);
}

TEST_F(AnalyzerTest, TwoInstancesKeepEachOthersChanges) {
    key.Store([](RegistryKey& k) {
        k.WriteInteger("DecayTime", 1);
        k.WriteInteger("WindowType", 1);
        k.WriteInteger("HighColor", 0x102030);
    });
    Instance* first = &Shown();
    Instance* second = &Shown();
    first->analyzer->SetDecayTime(3);
    first->analyzer->SetWindowType(2);
    Close(*first);
    EXPECT_EQ(key.Stored("DecayTime"), 3u);
    second->spectrum.SetHighColor(0x405060);
    second->analyzer->SetWindowType(4);
    Close(*second);
    EXPECT_EQ(key.Stored("DecayTime"), 3u);  // the second never touched it
    EXPECT_EQ(key.Stored("HighColor"), 0x405060u);
    EXPECT_EQ(key.Stored("WindowType"), 4u);  // both changed it: the last to close wins
    EXPECT_EQ(key.Stored("Samplerate"), 44100u);

    // Two first runs: nothing was stored when either started.
    ASSERT_TRUE(key.Delete());
    first = &Shown();
    second = &Shown();
    first->analyzer->SetInputMode(2);
    Close(*first);
    Close(*second);
    EXPECT_EQ(key.Stored("InputMode"), 2u);
    EXPECT_EQ(key.Stored("DecayTime"), 1u);
}

}  // namespace
