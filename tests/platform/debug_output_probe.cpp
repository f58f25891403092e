// Writes one debug line to the debugger stream and one into a capture, which must not reach it.
// The Wine run checks what its debug channel saw.
#include "platform/debug_output.h"

int main() {
    spectrino::platform::DebugOutput("spectrino debug line");
    const spectrino::platform::DebugCapture capture;
    spectrino::platform::DebugOutput("captured debug line");
    return capture.Lines().size() == 1 ? 0 : 1;
}
