// The program: loads the filter bank, makes the three forms and runs the message loop.
#include <QApplication>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "colours/Unit2.h"
#include "filterbank/utonebank.h"
#include "framework/exception_handler.h"
#include "platform/fpu.h"
#include "platform/termination.h"
#include "shell/Unit1.h"
#include "shell/Unit3.h"
#include "core/commandline.h"
#include "shell/quit_request.h"
#include "shell/startup_probe.h"

namespace {

// Keeps the filter-bank library loaded for the whole run.
struct FilterBankLibraryScope {
    FilterBankLibraryScope() { spectrino::LoadFilterBankLibrary(); }
    ~FilterBankLibraryScope() { spectrino::UnloadFilterBankLibrary(); }
};

// Exceptions must not unwind through Qt's event loop: whatever a handler lets escape is shown
// by the default handler here.
class TApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& error) {
            spectrino::ApplicationHandleException(error);
            return false;
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    using namespace spectrino;
    const FilterBankLibraryScope library;
    TApplication app(argc, argv);
    platform::SetFpuControlWord(platform::kDefaultFpuControlWord);
    NoASIO = HasNoAsioSwitch(std::vector<std::string>(argv + 1, argv + argc));
    // No display name: Qt would append it to every caption ("Spectrino [device] — Spectrino");
    // message boxes fall back to the application name.
    QApplication::setApplicationName(QStringLiteral("Spectrino"));

    auto form1 = std::make_unique<TForm1>();
    auto* form2 = new TForm2(form1.get());
    auto* form3 = new TForm3(form1.get());
    form2->setWindowFlags(Qt::Dialog);
    form3->setWindowFlags(Qt::Dialog);
    form1->SetDialogs(form2, form3);
    // Asked to end from outside: close as the user would, so the settings are stored; also
    // when the request comes while a start-up message box is up.
    TQuitRequest quit;
    const platform::TerminationRequests termination([&quit] { quit.Request(); });
    // Opt-in start-up measurement: report the first drawn frame of the spectrum, then close.
    if (!qEnvironmentVariableIsEmpty("SPECTRINO_STARTUP_PROBE")) {
        new TStartupProbe(form1->Spectrum1, [&quit](double seconds) {
            std::printf("first frame after %.0f ms\n", seconds * 1000.0);
            std::fflush(stdout);
            quit.Request();
        });
    }
    form1->show();
    const int result = quit.Exec();
    form1.reset();
    return result;
}
