// The analyzer started before its sound server: once the server is up, capture starts by
// itself, the Device menu lists the server's sources, and a server restart is survived.
#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QTest>

#include <string>
#include <vector>

#include "e2e/sound_server.h"
#include "framework/exception_handler.h"
#include "platform/debug_output.h"
#include "shell/Unit1.h"

namespace {

using namespace spectrino;
using namespace spectrino_test;

int32_t ToneBand(TForm1& form) {
    TSpectArray levels{};
    form.Spectrum1Refresh(levels);
    return levels[74];  // 1000 Hz at 44100 Hz
}

TEST(ServerReturn, CaptureFollowsTheSoundServer) {
    PrivateSoundServer server({"module-sine-source source_name=sine1k rate=44100 frequency=1000"});
    ServerAddress address(server.Address());
    platform::DebugCapture quiet;
    ExceptionCapture shown;
    TForm1 form;
    form.FormShow();
    ASSERT_EQ(form.devs1->actions().size(), 1);  // the mapper alone
    Guarded([&] { form.Analyzer().SetDevice("WaveMapper"); });
    EXPECT_EQ(shown.Messages(), std::vector<std::string>{"Soundcard could not be opened!"});

    ASSERT_TRUE(server.Start());
    EXPECT_TRUE(QTest::qWaitFor([&] { return ToneBand(form) > -4000; }, 10000))
        << "capture did not start after the server came up";

    emit form.devs1->aboutToShow();
    std::vector<QString> captions;
    for (QAction* item : form.devs1->actions()) {
        captions.push_back(item->text());
    }
    EXPECT_EQ(captions, (std::vector<QString>{"WaveMapper", "Sine source at 1000 Hz"}));
    EXPECT_TRUE(form.devs1->actions()[0]->isChecked());

    server.Kill();
    EXPECT_TRUE(QTest::qWaitFor([&] { return ToneBand(form) == -14400; }, 10000))
        << "the server's end went unnoticed";
    ASSERT_TRUE(server.Start());
    EXPECT_TRUE(QTest::qWaitFor([&] { return ToneBand(form) > -4000; }, 10000))
        << "capture did not resume after the server came back";
    EXPECT_EQ(shown.Messages().size(), 1u);
}

}  // namespace
