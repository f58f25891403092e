// A request to end the program that is never lost. While the application's event loop runs it
// ends the loop. Made earlier - a start-up message box is waiting for a click - it closes the
// modal boxes, and the loop, when its turn comes, does not start at all.
#pragma once

namespace spectrino {

class TQuitRequest {
public:
    // On the GUI thread, at any time.
    void Request();
    bool Requested() const { return requested_; }

    // Runs the application's event loop unless the program has been asked to end already.
    int Exec();

private:
    bool requested_ = false;
};

}  // namespace spectrino
