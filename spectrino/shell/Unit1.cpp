#include "shell/Unit1.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include <climits>

#include "colours/Unit2.h"
#include "framework/exception_handler.h"
#include "framework/fonts.h"
#include "shell/Unit3.h"
#include "shell/resources/MainIcon.h"
#include "shell/window_placement.h"

namespace spectrino {

namespace {

QRect ToQRect(const TBox& box) {
    return QRect(box.Left, box.Top, box.Width, box.Height);
}

TBox ToBox(const QRect& rect) {
    return TBox{rect.left(), rect.top(), rect.width(), rect.height()};
}

}  // namespace

TForm1::TForm1(QWidget* parent, platform::WaveInService* waveService) : QMainWindow(parent) {
    resumeTimer_ = new QTimer(this);
    resumeTimer_->setInterval(1000);
    CreateComponents();
    analyzer_ =
        std::make_unique<TAnalyzer>(static_cast<AnalyzerWindow&>(*this), *Spectrum1, waveService);
    connect(resumeTimer_, &QTimer::timeout, this,
            [this] { Guarded([this] { analyzer_->ResumeWaveCapture(); }); });
    analyzer_->Start();
}

TForm1::~TForm1() {
    analyzer_->Shutdown();
}

void TForm1::SetDialogs(TForm2* colours, TForm3* about) {
    colours_ = colours;
    about_ = about;
}

void TForm1::CreateComponents() {
    setWindowTitle(QStringLiteral("Spectrino"));
    setWindowIcon(MainIcon());
    setGeometry(static_cast<int>(kDesignPlace.Left), static_cast<int>(kDesignPlace.Top),
                static_cast<int>(kDesignPlace.Width), static_cast<int>(kDesignPlace.Height));
    setFont(ShellDlgFont(11));

    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    setCentralWidget(central);

    CreateTestPanel();
    column->addWidget(Panel1);

    // The black panel lies behind the spectrum and shows only while the spectrum is hidden.
    auto* client = new QWidget(central);
    auto* stack = new QGridLayout(client);
    stack->setContentsMargins(0, 0, 0, 0);
    Panel2 =
        new QLabel(QString::fromUtf8(kToneBankFileName) + QStringLiteral(" not found !!!"), client);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setAlignment(Qt::AlignCenter);
    Panel2->setAutoFillBackground(true);
    QPalette palette = Panel2->palette();
    palette.setColor(QPalette::Window, Qt::black);
    palette.setColor(QPalette::WindowText, ColorToQColor(kPanelFontColor));
    Panel2->setPalette(palette);
    stack->addWidget(Panel2, 0, 0);

    Spectrum1 = new TSpectrum(client);
    Spectrum1->setObjectName(QStringLiteral("Spectrum1"));
    Spectrum1->setCursor(Qt::CrossCursor);
    Spectrum1->SetSamplerate(44100.0f);
    Spectrum1->SetNotationFont(ShellDlgFont(11));
    Spectrum1->SetNotationFontColor(kPanelFontColor);
    Spectrum1->SetSeperatorFont(ShellDlgFont(9));
    Spectrum1->SetSeperatorFontColor(kPanelFontColor);
    Spectrum1->OnRefresh = [this](TSpectArray& values) {
        Guarded([&] { Spectrum1Refresh(values); });
    };
    Spectrum1->OnDblClick = [this] { Guarded([&] { Spectrum1DblClick(); }); };
    stack->addWidget(Spectrum1, 0, 0);
    Spectrum1->raise();
    column->addWidget(client, 1);

    CreateMenus();
}

void TForm1::CreateTestPanel() {
    Panel1 = new QFrame(centralWidget());
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(52);
    // The row of test controls never widens the window; at the smallest width it is cut.
    Panel1->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    Panel1->setFrameShape(QFrame::StyledPanel);
    Panel1->hide();
    Panel1->installEventFilter(this);
    auto* panelLayout = new QHBoxLayout(Panel1);
    panelLayout->setContentsMargins(2, 0, 2, 2);

    GroupBox2 = new QGroupBox(QStringLiteral("Test-Data"), Panel1);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    GroupBox2->installEventFilter(this);
    panelLayout->addWidget(GroupBox2);
    auto* row = new QHBoxLayout(GroupBox2);
    row->setContentsMargins(4, 0, 4, 0);
    row->setSpacing(2);

    auto spin = [this](const TLevelBox& levels) {
        auto* box = new QSpinBox(GroupBox2);
        box->setRange(levels.Unlimited() ? INT_MIN : levels.Minimum,
                      levels.Unlimited() ? INT_MAX : levels.Maximum);
        box->setValue(levels.Value);
        box->setEnabled(false);
        box->setFixedWidth(52);
        return box;
    };
    RadioButton1 = new QRadioButton(QStringLiteral("Device"), GroupBox2);
    RadioButton1->setChecked(true);
    RadioButton4 = new QRadioButton(QStringLiteral("Silence"), GroupBox2);
    RadioButton5 = new QRadioButton(QStringLiteral("Noise "), GroupBox2);
    SpinEdit1 = spin(kNoiseLevelBox);
    RadioButton6 = new QRadioButton(QStringLiteral("Rand"), GroupBox2);
    SpinEdit2 = spin(kRandLowLevelBox);
    SpinEdit3 = spin(kRandHighLevelBox);

    row->addWidget(RadioButton1);
    row->addWidget(RadioButton4);
    row->addWidget(RadioButton5);
    row->addWidget(SpinEdit1);
    row->addWidget(new QLabel(QStringLiteral("db"), GroupBox2));
    row->addWidget(RadioButton6);
    row->addWidget(SpinEdit2);
    row->addWidget(new QLabel(QStringLiteral("to"), GroupBox2));
    row->addWidget(SpinEdit3);
    row->addWidget(new QLabel(QStringLiteral("db"), GroupBox2));
    row->addStretch(1);

    const std::pair<QRadioButton*, int> buttons[] = {{RadioButton1, cmTestDevice},
                                                     {RadioButton4, cmTestSilence},
                                                     {RadioButton5, cmTestNoise},
                                                     {RadioButton6, cmTestRand}};
    for (const auto& [button, command] : buttons) {
        connect(button, &QRadioButton::clicked, this,
                [this, command] { Guarded([&] { analyzer_->Command(command); }); });
    }
}

QAction* TForm1::AddCommand(QMenu* menu, const QString& caption, int command, bool checkable) {
    QAction* item = menu->addAction(caption);
    item->setData(command);
    item->setCheckable(checkable);
    commands_[command] = item;
    // The analyzer keeps the check marks, so the toggle Qt applies to a checkable item before
    // `triggered` is undone first.
    connect(item, &QAction::triggered, this, [this, item, command](bool checked) {
        if (item->isCheckable()) {
            item->setChecked(!checked);
        }
        Guarded([&] { analyzer_->Command(command); });
    });
    return item;
}

void TForm1::CreateMenus() {
    PopupMenu1 = new QMenu(this);
    On1 = AddCommand(PopupMenu1, QStringLiteral("On"), cmOn);
    PopupMenu1->addSeparator();
    PeakHold1 = AddCommand(PopupMenu1, QStringLiteral("Peak Hold"), cmPeakHold);
    PeakDecay1 = AddCommand(PopupMenu1, QStringLiteral("Peak Decay"), cmPeakDecay);
    PopupMenu1->addSeparator();
    QMenu* decay = PopupMenu1->addMenu(QStringLiteral("Decay Time"));
    Fast1 = AddCommand(decay, QStringLiteral("Fast"), cmDecayTime + 3);
    Medium1 = AddCommand(decay, QStringLiteral("Medium"), cmDecayTime + 2);
    Slow1 = AddCommand(decay, QStringLiteral("Slow"), cmDecayTime + 1);
    PopupMenu1->addSeparator();
    QMenu* windowing = PopupMenu1->addMenu(QStringLiteral("Windowing"));
    Rectangular1 = AddCommand(windowing, QStringLiteral("Rectangular"), cmWindowing + 0);
    Blackman1 = AddCommand(windowing, QStringLiteral("Blackman"), cmWindowing + 1);
    Gaussian1 = AddCommand(windowing, QStringLiteral("Gaussian"), cmWindowing + 2);
    BlackmanHarris1 = AddCommand(windowing, QStringLiteral("Blackman-Harris"), cmWindowing + 3);
    Hanning1 = AddCommand(windowing, QStringLiteral("Hanning"), cmWindowing + 4);
    Hamming1 = AddCommand(windowing, QStringLiteral("Hamming"), cmWindowing + 5);
    PopupMenu1->addSeparator();
    QMenu* input = PopupMenu1->addMenu(QStringLiteral("Input Mode"));
    LeftRight1 = AddCommand(input, QStringLiteral("Left + Right"), cmInputMode + 1);
    Left1 = AddCommand(input, QStringLiteral("Left"), cmInputMode + 2);
    Right1 = AddCommand(input, QStringLiteral("Right"), cmInputMode + 3);
    LeftRight2 = AddCommand(input, QStringLiteral("Left-Right"), cmInputMode + 4);
    PopupMenu1->addSeparator();
    Colors1 = AddCommand(PopupMenu1, QStringLiteral("Colors..."), cmColors, false);
    PopupMenu1->addSeparator();
    Alwaysontop1 = AddCommand(PopupMenu1, QStringLiteral("Always on top"), cmAlwaysOnTop);

    QMenuBar* bar = menuBar();
    devs1 = bar->addMenu(QStringLiteral("Device"));
    connect(devs1, &QMenu::aboutToShow, this,
            [this] { Guarded([this] { analyzer_->RefreshDevices(); }); });
    QMenu* rates = bar->addMenu(QStringLiteral("Samplerate"));
    N441001 = AddCommand(rates, QStringLiteral("44100 Hz"), cmRate44100);
    N48000Hz1 = AddCommand(rates, QStringLiteral("48000 Hz"), cmRate48000);
    ControlPanel1 = bar->addAction(QStringLiteral("Control Panel..."));
    ControlPanel1->setVisible(false);
    commands_[cmControlPanel] = ControlPanel1;
    connect(ControlPanel1, &QAction::triggered, this,
            [this] { Guarded([this] { analyzer_->Command(cmControlPanel); }); });
    About1 = bar->addAction(QStringLiteral("About..."));
    connect(About1, &QAction::triggered, this,
            [this] { Guarded([this] { analyzer_->Command(cmAbout); }); });
}

void TForm1::FormShow() {
    shown_ = true;  // showing the window from the stored state must not run this again
    analyzer_->Show();
}

void TForm1::PlaceWindow(const TBox& box, bool outerOnceFramed) {
    const QRect outer = ToQRect(box);
    const QMargins frame = FrameMargins(*this);
    setGeometry(outer.marginsRemoved(frame));
    // Window managers add their frame some time after the window shows; the outer size holds
    // once they have.
    pendingOuter_.reset();
    if (outerOnceFramed && frame.isNull()) {
        pendingOuter_ = outer;
    }
}

TBox TForm1::MinimumOuterSize() const {
    const QMargins frame = FrameMargins(*this);
    const QSize size = minimumSizeHint().expandedTo(minimumSize()) +
                       QSize(frame.left() + frame.right(), frame.top() + frame.bottom());
    return TBox{0, 0, size.width(), size.height()};
}

TBox TForm1::NormalOuterRect() const {
    return ToBox(spectrino::NormalOuterRect(*this));
}

TFrame TForm1::Frame() const {
    const QMargins frame = FrameMargins(*this);
    return TFrame{frame.left(), frame.top(), frame.right(), frame.bottom()};
}

std::vector<TBox> TForm1::ScreenAreas() const {
    std::vector<TBox> areas;
    for (const QRect& area : AvailableScreenAreas()) {
        areas.push_back(ToBox(area));
    }
    return areas;
}

TWindowState TForm1::WindowState() const {
    return isMinimized()   ? TWindowState::Minimized
           : isMaximized() ? TWindowState::Maximized
                           : TWindowState::Normal;
}

void TForm1::SetWindowState(TWindowState state) {
    if (state == TWindowState::Minimized) {
        show();
        showMinimized();
    } else if (state == TWindowState::Maximized) {
        setWindowState(Qt::WindowMaximized);
    }
}

void TForm1::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    if (pendingOuter_ && !FrameMargins(*this).isNull() && !isMaximized() && !isMinimized()) {
        PlaceWindow(ToBox(*pendingOuter_), false);
    }
}

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!shown_) {
        shown_ = true;
        Guarded([this] { FormShow(); });
    }
}

void TForm1::Spectrum1Refresh(TSpectArray& values) {
    analyzer_->Refresh(values);
}

void TForm1::SetTopmost(bool topmost) {
    MoveWindowTopmost(topmost);
}

void TForm1::MoveWindowTopmost(bool topmost) {
    // Changing the flag re-creates the native window; keep it where it is.
    const QRect place = geometry();
    const bool visible = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, topmost);
    setGeometry(place);
    if (visible) {
        show();
    }
}

void TForm1::ShowAbout() {
    if (about_ != nullptr) {
        about_->exec();
    }
}

void TForm1::EnableTestLevels(bool noise, bool rand) {
    SpinEdit1->setEnabled(noise);
    SpinEdit2->setEnabled(rand);
    SpinEdit3->setEnabled(rand);
}

TTestLevels TForm1::TestLevels() const {
    return TTestLevels{SpinEdit1->value(), SpinEdit2->value(), SpinEdit3->value()};
}

void TForm1::TogglePanel1() {
    Panel1->setVisible(!Panel1->isVisible());
}

void TForm1::Spectrum1DblClick() {
    TogglePanel1();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton &&
        (watched == Panel1 || watched == GroupBox2)) {
        Guarded([this] { TogglePanel1(); });
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::contextMenuEvent(QContextMenuEvent* event) {
    PopupMenu1->exec(event->globalPos());
}

void TForm1::SetChecked(int command, bool checked) {
    if (const auto item = commands_.find(command); item != commands_.end()) {
        item->second->setChecked(checked);
    }
}

void TForm1::SetCommandVisible(int command, bool visible) {
    if (const auto item = commands_.find(command); item != commands_.end()) {
        item->second->setVisible(visible);
    }
}

void TForm1::SetDeviceItems(const std::vector<std::string>& captions) {
    for (QAction* item : devs1->actions()) {
        commands_.erase(item->data().toInt());
    }
    devs1->clear();
    for (size_t i = 0; i < captions.size(); ++i) {
        AddCommand(devs1, QString::fromStdString(captions[i]), cmDevice + static_cast<int>(i));
    }
}

void TForm1::SetCaption(const std::string& caption) {
    setWindowTitle(QString::fromStdString(caption));
}

void TForm1::SetResumeTimer(bool running) {
    if (!running) {
        resumeTimer_->stop();
    } else if (!resumeTimer_->isActive()) {
        resumeTimer_->start();
    }
}

void TForm1::SetBusy(bool busy) {
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
}

bool TForm1::EditColours(TColourSettings& settings) {
    if (colours_ == nullptr) {
        return false;
    }
    colours_->LowColor = settings.LowColor;
    colours_->MidColor = settings.MidColor;
    colours_->HighColor = settings.HighColor;
    colours_->HighTresh = settings.HighTresh;
    colours_->MidTresh = settings.MidTresh;
    if (colours_->exec() != QDialog::Accepted) {
        return false;
    }
    settings = TColourSettings{colours_->HighColor, colours_->MidColor, colours_->LowColor,
                               colours_->HighTresh, colours_->MidTresh};
    return true;
}

}  // namespace spectrino
