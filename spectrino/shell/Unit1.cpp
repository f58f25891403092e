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
#include <QScopeGuard>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>

#include "colours/Unit2.h"
#include "framework/exception.h"
#include "framework/exception_handler.h"
#include "framework/fonts.h"
#include "platform/debug_output.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "shell/Unit3.h"
#include "core/app_info.h"
#include "core/bandlevel.h"
#include "shell/commandline.h"
#include "core/input_routing.h"
#include "shell/resources/MainIcon.h"
#include "shell/settings_baseline.h"
#include "shell/window_placement.h"

namespace spectrino {

namespace {

constexpr TColor kPanelFontColor = 0xFFC0C0;
constexpr int kWaveBlockSize = 2048;
// The window's place and outer size as designed.
constexpr TWindowPlace kDesignPlace{672, 290, 464, 346};

// A channel record's name: up to 32 characters, ending at the first zero.
std::string ChannelName(const ASIOChannelInfo& info) {
    return std::string(info.name, strnlen(info.name, sizeof(info.name)));
}

QAction* AddItem(QMenu* menu, const QString& caption, int tag, bool checkable = true) {
    QAction* item = menu->addAction(caption);
    item->setData(tag);
    item->setCheckable(checkable);
    return item;
}

// A spin box's whole decibels as a level, held to the range a level can take.
int32_t SaturatedHundredths(int decibels) {
    return static_cast<int32_t>(std::clamp<int64_t>(int64_t{decibels} * 100, INT32_MIN, INT32_MAX));
}

void CheckOnly(std::initializer_list<QAction*> items, const QAction* checked) {
    for (QAction* item : items) {
        item->setChecked(item == checked);
    }
}

// The wait cursor for as long as it lives, also when the work in between throws.
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace

TForm1::TForm1(QWidget* parent, platform::WaveInService* waveService)
    : QMainWindow(parent), random_(std::random_device{}()) {
    WaveIn1 =
        std::make_unique<TWaveIn>(waveService != nullptr ? *waveService : platform::SystemWaveIn());
    WaveIn1->OnData = [this](TWaveIn& sender, const int16_t* ptr) { WaveIn1Data(sender, ptr); };
    WaveIn1->OnDeviceLost = [this](TWaveIn&) { WaveIn1DeviceLost(); };
    resumeTimer_ = new QTimer(this);
    resumeTimer_->setInterval(1000);
    connect(resumeTimer_, &QTimer::timeout, this,
            [this] { Guarded([this] { ResumeWaveCapture(); }); });
    // Reads the installed drivers at once; a driver is only opened when a device needs it.
    ASIOHost = std::make_unique<TASIOHost>();
    ASIOHost->SetSampleRate(44100.0);
    ASIOHost->OnBufferSwitch32 = [this](TCustomASIOHost&, const TQorArrayOfSingleDynArray& in,
                                        TQorArrayOfSingleDynArray& out) {
        ASIOHostBufferSwitch32(in, out);
    };
    CreateComponents();
    FormCreate();
}

TForm1::~TForm1() {
    FormDestroy();
}

void TForm1::SetDialogs(TForm2* colours, TForm3* about) {
    colours_ = colours;
    about_ = about;
}

void TForm1::CreateComponents() {
    setWindowTitle(QStringLiteral("Spectrino"));
    setWindowIcon(MainIcon());
    setGeometry(672, 290, 464, 346);
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
        Guarded([&] { Spectrum1Refresh(*Spectrum1, values); });
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

    auto spin = [this](int minimum, int maximum, int value) {
        auto* box = new QSpinBox(GroupBox2);
        box->setRange(minimum, maximum);
        box->setValue(value);
        box->setEnabled(false);
        box->setFixedWidth(52);
        return box;
    };
    RadioButton1 = new QRadioButton(QStringLiteral("Device"), GroupBox2);
    RadioButton1->setChecked(true);
    RadioButton4 = new QRadioButton(QStringLiteral("Silence"), GroupBox2);
    RadioButton5 = new QRadioButton(QStringLiteral("Noise "), GroupBox2);
    SpinEdit1 = spin(-80, -1, -30);
    RadioButton6 = new QRadioButton(QStringLiteral("Rand"), GroupBox2);
    SpinEdit2 = spin(-280, -1, -72);
    // Equal bounds mean no limit at all.
    SpinEdit3 = spin(INT_MIN, INT_MAX, -5);

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

    auto onClick = [this](QRadioButton* button, void (TForm1::*handler)()) {
        connect(button, &QRadioButton::clicked, this,
                [this, handler] { Guarded([&] { (this->*handler)(); }); });
    };
    onClick(RadioButton1, &TForm1::RadioButton1Click);
    onClick(RadioButton4, &TForm1::RadioButton4Click);
    onClick(RadioButton5, &TForm1::RadioButton5Click);
    onClick(RadioButton6, &TForm1::RadioButton6Click);
}

void TForm1::CreateMenus() {
    // The handlers keep the check marks themselves, so the toggle Qt applies to a checkable
    // item before `triggered` is undone first.
    auto bind = [this](QAction* item, auto handler) {
        connect(item, &QAction::triggered, this, [item, handler](bool checked) {
            if (item->isCheckable()) {
                item->setChecked(!checked);
            }
            Guarded([&] { handler(item); });
        });
    };
    auto plain = [this, &bind](QAction* item, void (TForm1::*handler)()) {
        bind(item, [this, handler](QAction*) { (this->*handler)(); });
    };
    auto tagged = [this, &bind](QAction* item, void (TForm1::*handler)(QAction*)) {
        bind(item, [this, handler](QAction* sender) { (this->*handler)(sender); });
    };

    PopupMenu1 = new QMenu(this);
    On1 = AddItem(PopupMenu1, QStringLiteral("On"), 0);
    On1->setChecked(true);
    plain(On1, &TForm1::On1Click);
    PopupMenu1->addSeparator();
    PeakHold1 = AddItem(PopupMenu1, QStringLiteral("Peak Hold"), 0);
    plain(PeakHold1, &TForm1::SetPeakHold);
    PeakDecay1 = AddItem(PopupMenu1, QStringLiteral("Peak Decay"), 0);
    plain(PeakDecay1, &TForm1::SetPeakDecay);
    PopupMenu1->addSeparator();
    QMenu* decay = PopupMenu1->addMenu(QStringLiteral("Decay Time"));
    Fast1 = AddItem(decay, QStringLiteral("Fast"), 3);
    Medium1 = AddItem(decay, QStringLiteral("Medium"), 2);
    Slow1 = AddItem(decay, QStringLiteral("Slow"), 1);
    for (QAction* item : {Fast1, Medium1, Slow1}) {
        tagged(item, &TForm1::DecayTimeClick);
    }
    PopupMenu1->addSeparator();
    QMenu* windowing = PopupMenu1->addMenu(QStringLiteral("Windowing"));
    Rectangular1 = AddItem(windowing, QStringLiteral("Rectangular"), 0);
    Blackman1 = AddItem(windowing, QStringLiteral("Blackman"), 1);
    Gaussian1 = AddItem(windowing, QStringLiteral("Gaussian"), 2);
    BlackmanHarris1 = AddItem(windowing, QStringLiteral("Blackman-Harris"), 3);
    Hanning1 = AddItem(windowing, QStringLiteral("Hanning"), 4);
    Hamming1 = AddItem(windowing, QStringLiteral("Hamming"), 5);
    for (QAction* item :
         {Rectangular1, Blackman1, Gaussian1, BlackmanHarris1, Hanning1, Hamming1}) {
        tagged(item, &TForm1::WindowingClick);
    }
    PopupMenu1->addSeparator();
    QMenu* input = PopupMenu1->addMenu(QStringLiteral("Input Mode"));
    LeftRight1 = AddItem(input, QStringLiteral("Left + Right"), 1);
    Left1 = AddItem(input, QStringLiteral("Left"), 2);
    Right1 = AddItem(input, QStringLiteral("Right"), 3);
    LeftRight2 = AddItem(input, QStringLiteral("Left-Right"), 4);
    for (QAction* item : {LeftRight1, Left1, Right1, LeftRight2}) {
        tagged(item, &TForm1::InputModeClick);
    }
    PopupMenu1->addSeparator();
    Colors1 = AddItem(PopupMenu1, QStringLiteral("Colors..."), 0, false);
    plain(Colors1, &TForm1::Colors1Click);
    PopupMenu1->addSeparator();
    Alwaysontop1 = AddItem(PopupMenu1, QStringLiteral("Always on top"), 0);
    plain(Alwaysontop1, &TForm1::Alwaysontop1Click);

    QMenuBar* bar = menuBar();
    devs1 = bar->addMenu(QStringLiteral("Device"));
    connect(devs1, &QMenu::aboutToShow, this, [this] { Guarded([this] { RefreshDevices(); }); });
    QMenu* rates = bar->addMenu(QStringLiteral("Samplerate"));
    N441001 = AddItem(rates, QStringLiteral("44100 Hz"), 0);
    N441001->setChecked(true);
    N48000Hz1 = AddItem(rates, QStringLiteral("48000 Hz"), 0);
    bind(N441001, [this](QAction*) { SetSamplerate(44100); });
    bind(N48000Hz1, [this](QAction*) { SetSamplerate(48000); });
    ControlPanel1 = bar->addAction(QStringLiteral("Control Panel..."));
    ControlPanel1->setVisible(false);
    plain(ControlPanel1, &TForm1::ControlPanel1Click);
    About1 = bar->addAction(QStringLiteral("About..."));
    plain(About1, &TForm1::About1Click);
}

void TForm1::FormCreate() {
    FCurrentDevice = nullptr;
    FDevices.clear();
    FTestMode = 0;
    FGoertzel.reset();
    FInputMode = 0;
    FWindowType = 0;
    FSamplerate = -1;
    WaveIn1->SetBlockSize(kWaveBlockSize);
    LoadAppInfo();
    FLock = std::make_unique<std::mutex>();
    SetSamplerate(44100);
    SetPeakDecay();
    SetDecayTime(1);
    SetInputMode(1);
}

void TForm1::FormShow() {
    shown_ = true;  // showing the window from the stored state must not run this again
    UpdateDevices();
    // The design-time place is the outer rectangle; on a small screen it is moved in.
    PlaceWindow(FitToScreens(kDesignPlace, AvailableScreenAreas(), MinimumOuterSize()), true);
    ReadConfig();
}

void TForm1::PlaceWindow(const QRect& outer, bool outerOnceFramed) {
    const QMargins frame = FrameMargins(*this);
    setGeometry(outer.marginsRemoved(frame));
    // Window managers add their frame some time after the window shows; the outer size holds
    // once they have.
    pendingOuter_.reset();
    if (outerOnceFramed && frame.isNull()) {
        pendingOuter_ = outer;
    }
}

QSize TForm1::MinimumOuterSize() const {
    const QMargins frame = FrameMargins(*this);
    return minimumSizeHint().expandedTo(minimumSize()) +
           QSize(frame.left() + frame.right(), frame.top() + frame.bottom());
}

void TForm1::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    if (pendingOuter_ && !FrameMargins(*this).isNull() && !isMaximized() && !isMinimized()) {
        PlaceWindow(*pendingOuter_, false);
    }
}

void TForm1::FormDestroy() {
    StoreConfig();
    Guarded([this] {
        WaveIn1->SetEnabled(false);
        ASIOHost->SetActive(false);
        ASIOHost->SetDriverIndex(-1);
    });
    Spectrum1->SetEnabled(false);
    {
        std::lock_guard guard(*FLock);
        FGoertzel.reset();
    }
    FCurrentDevice = nullptr;
    FDevices.clear();
}

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!shown_) {
        shown_ = true;
        Guarded([this] { FormShow(); });
    }
}

void TForm1::Spectrum1Refresh(TSpectrum&, TSpectArray& values) {
    switch (FTestMode) {
        case 0:
            for (int i = 0; i < kBandCount; ++i) {
                values[i] = FGoertzel ? BandLevel(FGoertzel->GetResult(i)) : kFloorLevel;
            }
            break;
        case 1:
            values.fill(kFloorLevel);
            break;
        case 2:
            values.fill(SpinEdit1->value() * 100);
            break;
        default: {
            // The upper box takes any integer; its hundredths may not fit a level.
            const int32_t lo = SaturatedHundredths(SpinEdit2->value());
            const int32_t hi = SaturatedHundredths(SpinEdit3->value());
            if (lo == hi) {
                values.fill(lo);
                break;
            }
            // From the lower bound inclusive to the upper one exclusive.
            std::uniform_int_distribution<int32_t> draw(std::min(lo, hi), std::max(lo, hi) - 1);
            for (int32_t& v : values) {
                v = draw(random_);
            }
            break;
        }
    }
}

void TForm1::On1Click() {
    On1->setChecked(!On1->isChecked());
    Spectrum1->SetEnabled(On1->isChecked());
    if (const TAudioDevice* device = FCurrentDevice; device != nullptr) {
        if (device->IsASIO) {
            ASIOHost->SetActive(On1->isChecked());
        } else {
            SetWaveCapture(On1->isChecked());
        }
    }
}

void TForm1::Alwaysontop1Click() {
    Alwaysontop1->setChecked(!Alwaysontop1->isChecked());
    MoveWindowTopmost(Alwaysontop1->isChecked());
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

void TForm1::About1Click() {
    if (about_ != nullptr) {
        about_->exec();
    }
}

void TForm1::SetTestMode(uint16_t mode, bool noise, bool rand) {
    FTestMode = mode;
    SpinEdit1->setEnabled(noise);
    SpinEdit2->setEnabled(rand);
    SpinEdit3->setEnabled(rand);
}

void TForm1::RadioButton1Click() {
    SetTestMode(0, false, false);
}
void TForm1::RadioButton4Click() {
    SetTestMode(1, false, false);
}
void TForm1::RadioButton5Click() {
    SetTestMode(2, true, false);
}
void TForm1::RadioButton6Click() {
    SetTestMode(3, false, true);
}

void TForm1::TogglePanel1() {
    Panel1->setVisible(!Panel1->isVisible());
}
void TForm1::Panel1DblClick() {
    TogglePanel1();
}
void TForm1::GroupBox2DblClick() {
    TogglePanel1();
}
void TForm1::Spectrum1DblClick() {
    TogglePanel1();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (watched == Panel1) {
            Guarded([this] { Panel1DblClick(); });
            return true;
        }
        if (watched == GroupBox2) {
            Guarded([this] { GroupBox2DblClick(); });
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::contextMenuEvent(QContextMenuEvent* event) {
    PopupMenu1->exec(event->globalPos());
}

void TForm1::WaveIn1Data(TWaveIn& sender, const int16_t* ptr) {
    const uint32_t frames = std::min<uint32_t>(sender.BlockSize(), FSamples.size());
    MixWaveFrames(ptr, frames, FInputMode, FSamples.data());
    if (FGoertzel) {
        FGoertzel->AddSamples(FSamples.data(), static_cast<int32_t>(frames));
    }
}

void TForm1::ASIOHostBufferSwitch32(const TQorArrayOfSingleDynArray& inBuffer,
                                    TQorArrayOfSingleDynArray&) {
    // Never wait on the audio thread: while the main thread swaps the bank, this block is
    // dropped (the new bank starts empty anyway).
    std::unique_lock lock(*FLock, std::try_to_lock);
    if (!lock.owns_lock()) {
        return;
    }
    const TAudioDevice* device = FCurrentDevice;
    if (device == nullptr || !device->IsASIO || device->ASIOChannel < 0 ||
        static_cast<size_t>(device->ASIOChannel) + 1 >= inBuffer.size()) {
        return;
    }
    const TSingleDynArray& left = inBuffer[static_cast<size_t>(device->ASIOChannel)];
    const TSingleDynArray& right = inBuffer[static_cast<size_t>(device->ASIOChannel) + 1];
    const size_t frames = std::min({left.size(), right.size(), FSamples.size()});
    MixChannels(left.data(), right.data(), frames, FInputMode, FSamples.data());
    if (FGoertzel) {
        FGoertzel->AddSamples(FSamples.data(), static_cast<int32_t>(frames));
    }
}

void TForm1::UpdateDevices() {
    // Listing the sources and loading every driver takes a moment before the window first
    // paints.
    const WaitCursor waiting;
    const std::vector<std::string> names = WaveSourceNames();
    for (size_t i = 0; i < names.size(); ++i) {
        AddAudioDevice(
            std::make_unique<TAudioDevice>(false, names[i], names[i], static_cast<int32_t>(i)));
    }
    if (!NoASIO) {
        const std::vector<std::string> drivers = ASIOHost->DriverList();
        for (size_t d = 0; d < drivers.size(); ++d) {
            ASIOHost->SetDriverIndex(static_cast<int>(d));
            // Only drivers that offer both of the analyzer's rates.
            if (ASIOHost->CanSampleRate(44100.0) != 0 || ASIOHost->CanSampleRate(48000.0) != 0) {
                continue;
            }
            const int pairs = ASIOHost->InputChannelCount() / 2;
            for (int a = 0; a < pairs; ++a) {
                ASIOChannelInfo left{}, right{};
                ASIOHost->GetChannelInfo(2 * a, left);
                ASIOHost->GetChannelInfo(2 * a + 1, right);
                const std::string caption = ChannelName(left) + " / " + ChannelName(right) + " [" +
                                            ASIOHost->DriverName() + "]";
                AddAudioDevice(
                    std::make_unique<TAudioDevice>(true, caption, ASIOHost->DriverName(), 2 * a));
            }
        }
    }
    ASIOHost->SetDriverIndex(-1);
}

void TForm1::AddAudioDevice(std::unique_ptr<TAudioDevice> device) {
    FDevices.push_back(std::move(device));
    AddDeviceItem(FDevices.size() - 1);
}

void TForm1::AddDeviceItem(size_t index) {
    const TAudioDevice* device = FDevices[index].get();
    QAction* item = devs1->addAction(QString::fromStdString(device->Caption));
    item->setData(static_cast<int>(index));
    item->setCheckable(true);
    item->setChecked(device == FCurrentDevice);
    connect(item, &QAction::triggered, this, [this, item](bool checked) {
        item->setChecked(!checked);
        Guarded([&] { DeviceClick(item); });
    });
}

void TForm1::RefreshDevices() {
    // Probing drivers again would close the running one, so only wave sources are re-read;
    // read first, so a failure leaves the list as it was.
    const std::vector<std::string> names = WaveSourceNames();
    TAudioDevice* const current = FCurrentDevice;
    std::vector<std::unique_ptr<TAudioDevice>> old = std::move(FDevices);
    FDevices.clear();
    // The current entry is carried over, never remade: it is what the audio thread reads.
    std::unique_ptr<TAudioDevice> kept = std::move(FAbsentDevice);
    std::vector<std::unique_ptr<TAudioDevice>> drivers;
    for (std::unique_ptr<TAudioDevice>& device : old) {
        if (device->IsASIO) {
            drivers.push_back(std::move(device));
        } else if (device.get() == current) {
            kept = std::move(device);
        }
    }
    for (size_t i = 0; i < names.size(); ++i) {
        const auto position = static_cast<int32_t>(i);
        if (kept && kept->Caption == names[i]) {
            kept->WaveIndex = position;
            FDevices.push_back(std::move(kept));
        } else {
            FDevices.push_back(std::make_unique<TAudioDevice>(false, names[i], names[i], position));
        }
    }
    for (std::unique_ptr<TAudioDevice>& device : drivers) {
        FDevices.push_back(std::move(device));
    }
    FAbsentDevice = std::move(kept);
    devs1->clear();
    for (size_t i = 0; i < FDevices.size(); ++i) {
        AddDeviceItem(i);
    }
    // Entries that went are freed out of the audio thread's reach.
    std::lock_guard guard(*FLock);
    old.clear();
}

void TForm1::DeviceClick(QAction* item) {
    SetAudioDevice(item->data().toInt());
}

void TForm1::SetDevice(const std::string& caption) {
    for (size_t i = 0; i < FDevices.size(); ++i) {
        if (FDevices[i]->Caption == caption) {
            SetAudioDevice(static_cast<int32_t>(i));
            return;
        }
    }
    SetAudioDevice(0);
}

void TForm1::SetAudioDevice(int32_t index) {
    if (index < 0 || static_cast<size_t>(index) >= FDevices.size()) {
        return;
    }
    TAudioDevice* device = FDevices[static_cast<size_t>(index)].get();
    // The current entry again restarts only a capture that is down.
    if (device == FCurrentDevice && !captureDown_) {
        return;
    }
    const QList<QAction*> items = devs1->actions();
    for (qsizetype k = 0; k < items.size(); ++k) {
        items[k]->setChecked(k == index);
    }
    // Stop everything before the current entry changes, so the audio thread never sees a
    // half-changed entry.
    ASIOHost->SetDriverIndex(-1);
    ASIOHost->SetActive(false);
    SetWaveCapture(false);

    FCurrentDevice = device;
    {
        std::lock_guard guard(*FLock);
        FAbsentDevice.reset();
    }
    ControlPanel1->setVisible(device->IsASIO);
    if (device->IsASIO) {
        ASIOHost->SetSampleRate(FSamplerate);
        ASIOHost->SetDriverName(device->DeviceName);
        // Opening takes the driver's own rate; ask it for the analyzer's, or every band
        // would be measured off by the ratio of the two rates.
        ASIOHost->SetSampleRate(FSamplerate);
        if (On1->isChecked()) {
            ASIOHost->SetActive(true);
        }
    } else {
        WaveIn1->SetSampleRate(static_cast<uint32_t>(FSamplerate));
        WaveIn1->SetCurrentDevice(device->DeviceName);
        if (On1->isChecked()) {
            SetWaveCapture(true);
        }
    }
    const QString product = QString::fromStdString(AppProductName);
    setWindowTitle(device->Caption.empty()
                       ? product
                       : product + " [" + QString::fromStdString(device->Caption) + "]");
}

void TForm1::SetWaveCapture(bool on) {
    // A failed open leaves the component enabled but closed, so it is switched off first.
    WaveIn1->SetEnabled(false);
    SetCaptureDown(false);
    if (!on) {
        return;
    }
    // Marked down until the open succeeds: a failure leaves here by exception.
    SetCaptureDown(true);
    try {
        WaveIn1->SetEnabled(true);
    } catch (const Exception&) {
        // A missing source is waited for; one that is there and refuses is tried again only
        // after it went and came back.
        resumeArmed_ = !WaveSourceListed(WaveIn1->CurrentDevice());
        throw;
    }
    SetCaptureDown(false);
}

void TForm1::SetCaptureDown(bool down) {
    captureDown_ = down;
    if (!down) {
        resumeTimer_->stop();
    } else if (!resumeTimer_->isActive()) {
        resumeTimer_->start();
    }
}

std::vector<std::string> TForm1::WaveSourceNames() {
    std::vector<std::string> names;
    const uint32_t count = WaveIn1->Count();
    for (uint32_t i = 0; i < count; ++i) {
        names.push_back(WaveIn1->DeviceName(static_cast<int>(i)));
    }
    return names;
}

bool TForm1::WaveSourceListed(const std::string& name) {
    const std::vector<std::string> names = WaveSourceNames();
    // The mapper is always listed first; it can open while any source is there.
    if (name == names.front()) {
        return names.size() > 1;
    }
    return std::find(names.begin() + 1, names.end(), name) != names.end();
}

void TForm1::ResumeWaveCapture() {
    const TAudioDevice* device = FCurrentDevice;
    if (!captureDown_ || device == nullptr || device->IsASIO || !On1->isChecked()) {
        SetCaptureDown(false);
        return;
    }
    if (!WaveSourceListed(device->DeviceName)) {
        resumeArmed_ = true;
        return;
    }
    if (!resumeArmed_) {
        return;
    }
    try {
        SetWaveCapture(true);
        platform::DebugOutput("wavein: device back");
    } catch (const Exception&) {
        // Said once when it failed; it is tried again after its source goes and comes back.
    }
}

void TForm1::ControlPanel1Click() {
    ASIOHost->ControlPanel();
}

void TForm1::WaveIn1DeviceLost() {
    platform::DebugOutput("wavein: device lost");
    SetCaptureDown(true);
    resumeArmed_ = true;
    // Show the floor rather than the last second before the loss.
    if (FGoertzel) {
        FGoertzel->Flush();
    }
}

std::string TForm1::ConfigKeyPath() {
    // Without both names the path would collapse onto a key shared with other programs.
    if (AppCompanyName.empty() || AppProductName.empty()) {
        return {};
    }
    return "\\Software\\" + AppCompanyName + "\\" + AppProductName + "\\";
}

void TForm1::ReadConfig() {
    if (ConfigKeyPath().empty()) {
        return;
    }
    auto key = platform::RegistryKey::Open(platform::RootKey::CurrentUser, ConfigKeyPath(),
                                           platform::Access::Read);
    // What this window holds once the stored values are applied (or none are, or the device
    // fails to start) is what it started from.
    TSettings stored;
    const auto remember =
        qScopeGuard([&] { settingsBaseline_.Remember(std::move(stored), CurrentSettings()); });
    if (!key) {
        return;
    }
    for (const TSetting& setting : CurrentSettings()) {
        stored.push_back({setting.Name, ReadSetting(*key, setting.Name, setting.Value)});
    }
    // Each value stands on its own: a missing one, or one of another type, reads as absent.
    auto integer = [&](const char* name) -> std::optional<int32_t> {
        if (auto value = key->ReadInteger(name)) {
            return static_cast<int32_t>(*value);
        }
        return std::nullopt;
    };
    {
        // Earlier versions stored the client area; their values come back as they were.
        const bool outer = integer("OuterRect") == 1;
        const QMargins frame = outer ? QMargins() : FrameMargins(*this);
        const QRect current = NormalOuterRect(*this).marginsRemoved(frame);
        TWindowPlace place{current.left(), current.top(), current.width(), current.height()};
        if (auto v = integer("Width")) {
            place.Width = *v;
        }
        if (auto v = integer("Height")) {
            place.Height = *v;
        }
        if (auto v = integer("Left")) {
            place.Left = *v;
        }
        if (auto v = integer("Top")) {
            place.Top = *v;
        }
        place.Left -= frame.left();
        place.Top -= frame.top();
        place.Width += frame.left() + frame.right();
        place.Height += frame.top() + frame.bottom();
        PlaceWindow(FitToScreens(place, AvailableScreenAreas(), MinimumOuterSize()), outer);
    }
    if (auto v = integer("State")) {
        if (*v == 1) {
            show();
            showMinimized();
        } else if (*v == 2) {
            setWindowState(Qt::WindowMaximized);
        }
    }
    if (auto v = integer("TopMost"); v && *v != 0) {
        Alwaysontop1->setChecked(true);
        MoveWindowTopmost(true);
    }
    SetSamplerate(integer("Samplerate").value_or(0));
    if (integer("PeakHold").value_or(0) == 1) {
        SetPeakHold();
    } else {
        SetPeakDecay();
    }
    SetDecayTime(integer("DecayTime").value_or(0));
    SetWindowType(integer("WindowType").value_or(0));
    SetInputMode(integer("InputMode").value_or(0));
    if (auto v = integer("HighColor"); v && *v != 0) {
        Spectrum1->SetHighColor(static_cast<TColor>(*v));
    }
    if (auto v = integer("MidColor"); v && *v != 0) {
        Spectrum1->SetMidColor(static_cast<TColor>(*v));
    }
    if (auto v = integer("LowColor"); v && *v != 0) {
        Spectrum1->SetLowColor(static_cast<TColor>(*v));
    }
    if (auto v = integer("HighTresh"); v && *v < 0) {
        SetHighTresh(*v);
    }
    if (auto v = integer("MidTresh"); v && *v < 0) {
        SetMidTresh(*v);
    }
    const std::string device = key->ReadString("Device").value_or(std::string());
    key->Close();
    SetDevice(device);
}

void TForm1::StoreConfig() {
    if (ConfigKeyPath().empty()) {
        return;
    }
    auto key = platform::RegistryKey::Open(platform::RootKey::CurrentUser, ConfigKeyPath(),
                                           platform::Access::ReadWrite);
    if (!key) {
        ReportUnsavedSettings();
        return;
    }
    bool saved = true;
    for (const TSetting& setting : CurrentSettings()) {
        // The key shows the file as it is now, with what other instances stored.
        if (settingsBaseline_.ShouldWrite(setting,
                                          ReadSetting(*key, setting.Name, setting.Value))) {
            saved = WriteSetting(*key, setting) && saved;
        }
    }
    saved = key->Close() && saved;
    if (!saved) {
        ReportUnsavedSettings();
    }
}

TSettings TForm1::CurrentSettings() const {
    // The restored outer rectangle, also while minimised or maximised.
    const QRect place = NormalOuterRect(*this);
    const TAudioDevice* device = FCurrentDevice;
    const auto integer = [](int64_t value) { return TSettingValue(static_cast<uint32_t>(value)); };
    return {
        {"Device", device != nullptr ? device->Caption : std::string()},
        {"Samplerate", integer(FSamplerate)},
        {"PeakHold", integer(Spectrum1->PeakDisplay() == TPeakDisplay::pdHold ? 1 : 0)},
        {"DecayTime", integer(FDecayTime)},
        {"WindowType", integer(FWindowType)},
        {"InputMode", integer(FInputMode)},
        {"HighColor", integer(Spectrum1->HighColor())},
        {"MidColor", integer(Spectrum1->MidColor())},
        {"LowColor", integer(Spectrum1->LowColor())},
        {"HighTresh", integer(Spectrum1->HighTreshhold())},
        {"MidTresh", integer(Spectrum1->MidTreshhold())},
        {"Width", integer(place.width())},
        {"Height", integer(place.height())},
        {"Left", integer(place.left())},
        {"Top", integer(place.top())},
        {"State", integer(isMinimized()   ? 1
                          : isMaximized() ? 2
                                          : 0)},
        {"Topmost", integer(Alwaysontop1->isChecked() ? 1 : 0)},
        {"OuterRect", integer(1)},  // the place above includes the frame
    };
}

void TForm1::ReportUnsavedSettings() {
    std::string where = platform::HiveFilePath(platform::RootKey::CurrentUser);
    if (where.empty()) {  // the system's own registry
        where =
            std::string(platform::RootKeyName(platform::RootKey::CurrentUser)) + ConfigKeyPath();
    }
    platform::DebugOutput("settings not saved: " + where);
    ApplicationHandleException(Exception("The settings could not be saved to " + where));
}

void TForm1::SetPeakHold() {
    PeakHold1->setChecked(true);
    PeakDecay1->setChecked(false);
    Spectrum1->SetPeakDisplay(TPeakDisplay::pdHold);
}

void TForm1::SetPeakDecay() {
    PeakHold1->setChecked(false);
    PeakDecay1->setChecked(true);
    Spectrum1->SetPeakDisplay(TPeakDisplay::pdDecay);
}

void TForm1::SetDecayTime(int32_t code) {
    FDecayTime = code;
    if (code == 2) {
        CheckOnly({Fast1, Medium1, Slow1}, Medium1);
        Spectrum1->SetDecaySpeed(TDecaySpeed::dsMedium);
    } else if (code == 3) {
        CheckOnly({Fast1, Medium1, Slow1}, Fast1);
        Spectrum1->SetDecaySpeed(TDecaySpeed::dsFast);
    } else {
        CheckOnly({Fast1, Medium1, Slow1}, Slow1);
        Spectrum1->SetDecaySpeed(TDecaySpeed::dsSlow);
    }
}

void TForm1::SetWindowType(int32_t code) {
    FWindowType = code;
    if (FGoertzel) {
        FGoertzel->SetWindowing(code);
    }
    QAction* const items[] = {Rectangular1,    Blackman1, Gaussian1,
                              BlackmanHarris1, Hanning1,  Hamming1};
    const QAction* checked = code >= 1 && code <= 5 ? items[code] : Rectangular1;
    for (QAction* item : items) {
        item->setChecked(item == checked);
    }
}

void TForm1::SetHighTresh(int32_t threshold) {
    Spectrum1->SetHighTreshhold(threshold);
}

void TForm1::SetMidTresh(int32_t threshold) {
    Spectrum1->SetMidTreshhold(threshold);
}

void TForm1::SetSamplerate(int32_t rate) {
    if (rate == FSamplerate) {
        // The checked rate again retries a capture that could not be reopened at it.
        if (captureDown_) {
            SetWaveCapture(true);
        }
        return;
    }
    const int32_t r = rate == 48000 ? 48000 : 44100;
    Spectrum1->SetSamplerate(static_cast<float>(r));

    // The new bank is built completely before it replaces the old one, so a feed from the
    // audio thread only ever sees a whole bank.
    std::unique_ptr<TGoertzel> bank;
    try {
        bank = std::make_unique<TGoertzel>(r);
        Spectrum1->setVisible(true);
        for (int i = 0; i < kBandCount; ++i) {
            float centre = 0, width = 0;
            Spectrum1->GetBand(i, centre, width);
            bank->AddBin(centre, width);
        }
        // A new bank starts rectangular; it measures with the window the menu shows.
        bank->SetWindowing(FWindowType);
    } catch (const Exception&) {
        bank.reset();
        Spectrum1->setVisible(false);
    }
    {
        std::lock_guard guard(*FLock);
        FGoertzel.swap(bank);
    }
    bank.reset();  // the old bank, out of the feed's reach

    // The whole analyzer is at the new rate before the device reopens, so a device that fails
    // to reopen leaves it consistent; choosing either rate or the device again retries.
    CheckOnly({N441001, N48000Hz1}, r == 44100 ? N441001 : N48000Hz1);
    FSamplerate = r;

    if (const TAudioDevice* device = FCurrentDevice; device != nullptr && device->IsASIO) {
        // Reopen the driver and switch it to the new rate.
        ASIOHost->SetActive(false);
        ASIOHost->SetDriverIndex(-1);
        ASIOHost->SetSampleRate(r);
        ASIOHost->SetDriverName(device->DeviceName);
        ASIOHost->SetSampleRate(r);
        if (On1->isChecked()) {
            ASIOHost->SetActive(true);
        }
    } else {
        // A running capture reopens at the new rate, and so does one that was down.
        const bool running = WaveIn1->Enabled();
        WaveIn1->SetEnabled(false);
        WaveIn1->SetSampleRate(static_cast<uint32_t>(r));
        if (running) {
            SetWaveCapture(true);
        }
    }
}

void TForm1::SetInputMode(int32_t mode) {
    if (mode == FInputMode) {
        return;
    }
    if (FGoertzel) {
        FGoertzel->Flush();
    }
    QAction* checked = mode == 2 ? Left1 : mode == 3 ? Right1 : mode == 4 ? LeftRight2 : LeftRight1;
    CheckOnly({LeftRight1, Left1, Right1, LeftRight2}, checked);
    FInputMode = mode >= 2 && mode <= 4 ? mode : 1;
}

void TForm1::DecayTimeClick(QAction* item) {
    SetDecayTime(item->data().toInt());
}
void TForm1::WindowingClick(QAction* item) {
    SetWindowType(item->data().toInt());
}
void TForm1::InputModeClick(QAction* item) {
    SetInputMode(item->data().toInt());
}

void TForm1::Colors1Click() {
    if (colours_ == nullptr) {
        return;
    }
    colours_->LowColor = Spectrum1->LowColor();
    colours_->MidColor = Spectrum1->MidColor();
    colours_->HighColor = Spectrum1->HighColor();
    colours_->HighTresh = Spectrum1->HighTreshhold();
    colours_->MidTresh = Spectrum1->MidTreshhold();
    if (colours_->exec() == QDialog::Accepted) {
        Spectrum1->SetLowColor(colours_->LowColor);
        Spectrum1->SetMidColor(colours_->MidColor);
        Spectrum1->SetHighColor(colours_->HighColor);
        Spectrum1->SetHighTreshhold(colours_->HighTresh);
        Spectrum1->SetMidTreshhold(colours_->MidTresh);
    }
}

}  // namespace spectrino
