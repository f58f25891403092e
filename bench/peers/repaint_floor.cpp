// What a live display costs with this toolkit and display before any analysis: a main window
// with a menu bar whose central widget repaints the analyzer's plot area every 80 ms, as the
// analyzer's refresh does, from an off-screen picture. With --wake-frames N a second thread
// also wakes every N frames at 44100 Hz and does nothing, like an audio thread.
#include <QApplication>
#include <QImage>
#include <QMainWindow>
#include <QMenuBar>
#include <QPaintEvent>
#include <QPainter>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

namespace {

// The bars' area of the analyzer's window at its default size.
const QRect kPlot(79, 68, 344, 230);

class RepaintingView : public QWidget {
public:
    RepaintingView() : picture_(456, 300, QImage::Format_RGB32) {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setMinimumSize(456, 300);
        picture_.fill(Qt::black);
        timer_.setInterval(80);
        connect(&timer_, &QTimer::timeout, this, [this] {
            picture_.fill(++ticks_ % 2 != 0 ? Qt::black : Qt::darkGreen);
            repaint(kPlot);
        });
        timer_.start();
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        QPainter painter(this);
        painter.drawImage(event->rect().topLeft(), picture_, event->rect());
    }

private:
    QImage picture_;
    QTimer timer_;
    int ticks_ = 0;
};

// Wakes every `frames` frames at 44100 Hz until stopped.
class IdleAudioThread {
public:
    explicit IdleAudioThread(int frames)
        : thread_([this, frames] {
              using Clock = std::chrono::steady_clock;
              const auto period = std::chrono::duration_cast<Clock::duration>(
                  std::chrono::duration<double>(frames / 44100.0));
              auto next = Clock::now();
              while (!stop_.load()) {
                  next += period;
                  std::this_thread::sleep_until(next);
              }
          }) {}
    ~IdleAudioThread() {
        stop_ = true;
        thread_.join();
    }
    IdleAudioThread(const IdleAudioThread&) = delete;
    IdleAudioThread& operator=(const IdleAudioThread&) = delete;

private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace

int main(int argc, char* argv[]) {
    const QApplication app(argc, argv);
    int wakeFrames = 0;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--wake-frames") == 0) {
            wakeFrames = std::stoi(argv[i + 1]);
        }
    }
    QMainWindow window;
    window.setWindowTitle("Repaint floor");
    window.menuBar()->addMenu("&File")->addAction("E&xit", &window, &QMainWindow::close);
    window.setCentralWidget(new RepaintingView);  // the window owns it
    window.show();
    std::unique_ptr<IdleAudioThread> audio;
    if (wakeFrames > 0) {
        audio = std::make_unique<IdleAudioThread>(wakeFrames);
    }
    return QApplication::exec();
}
