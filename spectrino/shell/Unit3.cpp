#include "shell/Unit3.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLinearGradient>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTabWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <string_view>

#include "core/about_texts.h"
#include "framework/fonts.h"
#include "shell/Unit1.h"
#include "shell/resources/MainIcon.h"

namespace spectrino {
namespace {

constexpr int kIconSize = 48;
constexpr QSize kDonationButtonSize(167, 76);

QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The donation button picture: a plain rounded button with a caption.
QPixmap DonationButton() {
    QPixmap pixmap(kDonationButtonSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF frame = QRectF(pixmap.rect()).adjusted(4.5, 12.5, -4.5, -12.5);
    QLinearGradient fill(frame.topLeft(), frame.bottomLeft());
    fill.setColorAt(0, QColor(0xFF, 0xD8, 0x6B));
    fill.setColorAt(1, QColor(0xF2, 0xA9, 0x1E));
    painter.setBrush(fill);
    painter.setPen(QPen(QColor(0xB3, 0x74, 0x00), 1));
    painter.drawRoundedRect(frame, 20, 20);
    QFont font = ShellDlgFont(18);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(QColor(0x1F, 0x2A, 0x44));
    painter.drawText(frame, Qt::AlignCenter, QString::fromLatin1(kDonationButtonText));
    return pixmap;
}

QLabel* WrappedLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    return label;
}

}  // namespace

TClickLabel::TClickLabel(QWidget* parent) : QLabel(parent) {
    setCursor(Qt::PointingHandCursor);
}

void TClickLabel::SetHint(const QString& hint, bool show) {
    FHint = hint;
    if (show) {
        setToolTip(hint);
    }
}

void TClickLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        emit clicked();
    }
}

TForm3::TForm3(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromLatin1(kAboutCaption));
    setFont(ShellDlgFont(11));
    setFixedSize(465, 358);

    PageControl1 = new QTabWidget(this);
    auto* sheet = new QWidget(PageControl1);
    PageControl1->addTab(sheet, QString::fromLatin1(kAboutTabCaption));

    ProductImage = new TClickLabel(sheet);
    ProductImage->setFixedSize(kIconSize, kIconSize);
    NameVersionLabel = new TClickLabel(sheet);
    NameVersionLabel->setAlignment(Qt::AlignCenter);
    NameVersionLabel->setFont(ShellDlgFont(21));
    CopyrightLabel = new TClickLabel(sheet);
    CopyrightLabel->setAlignment(Qt::AlignCenter);
    QFont copyrightFont = ShellDlgFont(13);
    copyrightFont.setBold(true);
    CopyrightLabel->setFont(copyrightFont);
    CopyrightLabel->setStyleSheet(QStringLiteral("color: #0000ff;"));
    CreditLabel = WrappedLabel(FromUtf8(CreditText("the Qt toolkit")), sheet);
    TermsLabel = WrappedLabel(QString::fromLatin1(kTermsText), sheet);
    DonationLabel = WrappedLabel(QString::fromLatin1(kDonationText), sheet);
    PaypalImage = new TClickLabel(sheet);
    PaypalImage->setFixedSize(kDonationButtonSize);
    PaypalImage->setPixmap(DonationButton());

    auto* title = new QHBoxLayout;
    title->addWidget(ProductImage);
    title->addWidget(NameVersionLabel, 1);
    title->addSpacing(kIconSize);
    auto* donation = new QHBoxLayout;
    donation->addWidget(DonationLabel, 1);
    donation->addWidget(PaypalImage);
    auto* page = new QVBoxLayout(sheet);
    page->addLayout(title);
    page->addWidget(CopyrightLabel);
    page->addSpacing(12);
    page->addWidget(CreditLabel);
    page->addWidget(TermsLabel);
    page->addStretch(1);
    page->addLayout(donation);

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(OKButton);
    buttons->addStretch(1);
    auto* dialog = new QVBoxLayout(this);
    dialog->addWidget(PageControl1, 1);
    dialog->addLayout(buttons);

    OpenUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(ProductImage, &TClickLabel::clicked, this, &TForm3::FormClick);
    connect(NameVersionLabel, &TClickLabel::clicked, this, &TForm3::FormClick);
    connect(CopyrightLabel, &TClickLabel::clicked, this, &TForm3::CopyrightLabelClick);
    connect(PaypalImage, &TClickLabel::clicked, this, &TForm3::PaypalImageClick);
    FormCreate();
}

void TForm3::FormCreate() {
    FGerman = IsGermanLocaleName(QLocale().name().toStdString());
}

void TForm3::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
}

void TForm3::FormShow() {
    const TAboutTexts texts = MakeAboutTexts(AppAboutStrings(), FGerman);
    PaypalImage->SetHint(FromUtf8(texts.DonationLink), false);
    CopyrightLabel->setText(FromUtf8(texts.Copyright));
    CopyrightLabel->SetHint(FromUtf8(texts.MailLink), false);
    NameVersionLabel->setText(FromUtf8(texts.NameVersion));
    NameVersionLabel->SetHint(FromUtf8(texts.WebLink), true);
    ProductImage->SetHint(FromUtf8(texts.WebLink), true);
    ProductImage->setPixmap(MainIcon().pixmap(kIconSize, kIconSize));
}

void TForm3::Open(const QString& link) {
    // An empty link has nowhere to go.
    if (!link.isEmpty()) {
        OpenUrl(QUrl(link, QUrl::TolerantMode));
    }
}

void TForm3::FormClick() {
    Open(NameVersionLabel->Hint());
}

void TForm3::CopyrightLabelClick() {
    Open(CopyrightLabel->Hint());
}

void TForm3::PaypalImageClick() {
    Open(PaypalImage->Hint());
}

}  // namespace spectrino
