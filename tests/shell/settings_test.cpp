// Placement and window state through a real Qt window and its frame, stored and restored.
#include <gtest/gtest.h>

#include <QTest>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "capture/fake_wavein.h"
#include "framework/exception_handler.h"
#include "platform/debug_output.h"
#include "platform/registry.h"
#include "shell/Unit1.h"
#include "shell/window_placement.h"

namespace {

using namespace spectrino;
using namespace spectrino_test;
namespace fs = std::filesystem;
using platform::Access;
using platform::RegistryKey;
using platform::RootKey;

class Settings : public ::testing::Test {
protected:
    Settings()
        : dir_(fs::temp_directory_path() /
               ("spectrino-settings-" + std::to_string(getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name())) {
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        if (const char* previous = std::getenv("SPECTRINO_REGISTRY_DIR")) {
            previous_ = previous;
        }
        setenv("SPECTRINO_REGISTRY_DIR", dir_.c_str(), 1);
        fake.names = {"Line In", "Monitor of TestSink"};
    }
    ~Settings() override {
        if (previous_) {
            setenv("SPECTRINO_REGISTRY_DIR", previous_->c_str(), 1);
        } else {
            unsetenv("SPECTRINO_REGISTRY_DIR");
        }
        AppCompanyName.clear();
        fs::remove_all(dir_);
    }

    // A window as the program shows it at start.
    std::unique_ptr<TForm1> Start() {
        auto form = std::make_unique<TForm1>(nullptr, &fake);
        // Test programs carry no version block of their own.
        AppCompanyName = "Test Maker";
        AppProductName = "Spectrino";
        form->FormShow();
        return form;
    }

    // The same, with the window shown, so the window system's frame is known.
    std::unique_ptr<TForm1> StartShown() {
        auto form = std::make_unique<TForm1>(nullptr, &fake);
        AppCompanyName = "Test Maker";
        AppProductName = "Spectrino";
        form->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        return form;
    }

    // Writes stored values directly.
    template <typename F>
    void Store(F&& write) {
        AppCompanyName = "Test Maker";
        AppProductName = "Spectrino";
        auto key =
            RegistryKey::Open(RootKey::CurrentUser, TAnalyzer::ConfigKeyPath(), Access::ReadWrite);
        ASSERT_TRUE(key);
        write(*key);
        ASSERT_TRUE(key->Close());
    }

    std::optional<uint32_t> Stored(const char* name) {
        AppCompanyName = "Test Maker";
        AppProductName = "Spectrino";
        auto key =
            RegistryKey::Open(RootKey::CurrentUser, TAnalyzer::ConfigKeyPath(), Access::Read);
        return key ? key->ReadInteger(name) : std::nullopt;
    }

    fs::path dir_;
    std::optional<std::string> previous_;
    platform::DebugCapture quiet;
    ExceptionCapture shown;
    FakeWaveIn fake;
};

TEST_F(Settings, TheOuterRectangleIsStoredAndComesBack) {
    QMargins frame;
    {
        auto form = StartShown();
        frame = FrameMargins(*form);
        ASSERT_FALSE(frame.isNull()) << "the window system shows no frame";
        // The design size is the outer size.
        EXPECT_EQ(form->frameGeometry().size(), QSize(464, 346));
        form->setGeometry(QRect(100, 120, 500, 400).marginsRemoved(frame));
    }
    EXPECT_EQ(Stored("Left"), 100u);
    EXPECT_EQ(Stored("Top"), 120u);
    EXPECT_EQ(Stored("Width"), 500u);
    EXPECT_EQ(Stored("Height"), 400u);
    {
        auto form = StartShown();
        EXPECT_EQ(form->frameGeometry(), QRect(100, 120, 500, 400));
    }
}

// The stored state reaches the real window, and the window's state is what is stored.
TEST_F(Settings, WindowStateComesBack) {
    Store([](RegistryKey& key) { key.WriteInteger("State", 2); });
    {
        auto form = Start();
        EXPECT_TRUE(form->isMaximized());
    }
    EXPECT_EQ(Stored("State"), 2u);
    Store([](RegistryKey& key) { key.WriteInteger("State", 1); });
    {
        auto form = Start();
        EXPECT_TRUE(form->isMinimized());
    }
    EXPECT_EQ(Stored("State"), 1u);
}

}  // namespace
