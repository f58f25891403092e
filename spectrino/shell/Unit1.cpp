#include "shell/Unit1.h"

#include <QAction>
#include <QActionGroup>
#include <QContextMenuEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>

#include "colours/Unit2.h"
#include "framework/exception.h"
#include "framework/exception_handler.h"
#include "framework/fonts.h"
#include "shell/Unit3.h"
#include "shell/bandlevel.h"

namespace spectrino {

std::string AppVersion;
std::string AppProductName;
std::string AppCompanyName;
std::string AppFileDescription;
std::string AppEmail;
std::string AppWebsite;
std::string AppCopyright;

namespace {

constexpr TColor kPanelFontColor = 0xFFC0C0;
constexpr int kWaveBlockSize = 2048;

QAction* AddItem(QMenu* menu, const QString& caption, int tag, bool checkable = true) {
    QAction* item = menu->addAction(caption);
    item->setData(tag);
    item->setCheckable(checkable);
    return item;
}

void CheckOnly(std::initializer_list<QAction*> items, const QAction* checked) {
    for (QAction* item : items) {
        item->setChecked(item == checked);
    }
}

}  // namespace

TForm1::TForm1(QWidget* parent) : QMainWindow(parent), random_(std::random_device{}()) {
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
    Spectrum1->OnRefresh = [this](TSpectrum& sender, TSpectArray& values) {
        Guarded([&] { Spectrum1Refresh(sender, values); });
    };
    Spectrum1->OnDblClick = [this](TSpectrum&) { Guarded([&] { Spectrum1DblClick(); }); };
    stack->addWidget(Spectrum1, 0, 0);
    Spectrum1->raise();
    column->addWidget(client, 1);

    CreateMenus();
}

void TForm1::CreateTestPanel() {
    Panel1 = new QFrame(centralWidget());
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(52);
    Panel1->setFrameShape(QFrame::StyledPanel);
    Panel1->hide();
    Panel1->installEventFilter(this);
    auto* panelLayout = new QHBoxLayout(Panel1);
    panelLayout->setContentsMargins(4, 0, 4, 2);

    GroupBox2 = new QGroupBox(QStringLiteral("Test-Data"), Panel1);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    GroupBox2->installEventFilter(this);
    panelLayout->addWidget(GroupBox2);
    auto* row = new QHBoxLayout(GroupBox2);
    row->setContentsMargins(6, 0, 6, 0);
    row->setSpacing(4);

    auto spin = [this](int minimum, int maximum, int value) {
        auto* box = new QSpinBox(GroupBox2);
        box->setRange(minimum, maximum);
        box->setValue(value);
        box->setEnabled(false);
        box->setFixedWidth(56);
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
    QMenu* rates = bar->addMenu(QStringLiteral("Samplerate"));
    N441001 = AddItem(rates, QStringLiteral("44100 Hz"), 0);
    N441001->setChecked(true);
    N48000Hz1 = AddItem(rates, QStringLiteral("48000 Hz"), 0);
    bind(N441001, [this](QAction*) { SetSamplerate(44100); });
    bind(N48000Hz1, [this](QAction*) { SetSamplerate(48000); });
    ControlPanel1 = bar->addAction(QStringLiteral("Control Panel..."));
    ControlPanel1->setVisible(false);
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
    FLock = std::make_unique<std::mutex>();
    SetSamplerate(44100);
    SetPeakDecay();
    SetDecayTime(1);
    SetInputMode(1);
}

void TForm1::FormShow() {
    // Devices and stored settings arrive with the capture and settings components.
}

void TForm1::FormDestroy() {
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
            const int32_t lo = SpinEdit2->value() * 100;
            const int32_t hi = SpinEdit3->value() * 100;
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
}

void TForm1::Alwaysontop1Click() {
    Alwaysontop1->setChecked(!Alwaysontop1->isChecked());
    // Changing the flag re-creates the native window; keep it where it is.
    const QRect place = geometry();
    const bool visible = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, Alwaysontop1->isChecked());
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
    if (event->type() == QEvent::MouseButtonDblClick) {
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
    } catch (const Exception&) {
        bank.reset();
        Spectrum1->setVisible(false);
    }
    {
        std::lock_guard guard(*FLock);
        FGoertzel.swap(bank);
    }
    bank.reset();  // the old bank, out of the feed's reach

    CheckOnly({N441001, N48000Hz1}, r == 44100 ? N441001 : N48000Hz1);
    FSamplerate = r;
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
