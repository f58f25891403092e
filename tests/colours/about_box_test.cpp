// The about box: texts and links from the program's version strings, clicks, and the icon.
#include <QLocale>
#include <QPixmap>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <vector>

#include "core/VersionInfo.h"
#include "core/about_texts.h"
#include "shell/Unit1.h"
#include "shell/Unit3.h"
#include "shell/resources/MainIcon.h"

namespace spectrino {
namespace {

// Sets the App strings the way the main window does and puts them back afterwards.
class AppStrings {
public:
    explicit AppStrings(const TProgramVersion& version) : saved_(CurrentAppInfo()) {
        SetAppInfo(version);
    }
    ~AppStrings() { SetAppInfo(saved_); }

private:
    TProgramVersion saved_;
};

struct OpenedLinks {
    explicit OpenedLinks(TForm3& form) {
        form.OpenUrl = [this](const QUrl& url) { urls.push_back(url.toString()); };
    }
    std::vector<QString> urls;
};

TEST(AboutBox, ShowsTheProgramsVersionAndOpensItsLinks) {
    const TProgramVersion version = ReadProgramVersion(SPECTRINO_PROGRAM_FILE);
    const AppStrings strings(version);
    TForm3 form;
    OpenedLinks opened(form);
    form.show();

    EXPECT_EQ(form.NameVersionLabel->text(),
              QStringLiteral("Spectrino v") + QStringLiteral(SPECTRINO_EXPECTED_VERSION));
    EXPECT_EQ(form.CopyrightLabel->text().toStdString(), version.Copyright);
    EXPECT_EQ(form.NameVersionLabel->toolTip().toStdString(), version.Website);
    EXPECT_EQ(form.ProductImage->toolTip().toStdString(), version.Website);
    EXPECT_TRUE(form.CopyrightLabel->toolTip().isEmpty());
    const QPixmap icon = form.ProductImage->pixmap();
    EXPECT_EQ(icon.size(), QSize(48, 48));

    QTest::mouseClick(form.NameVersionLabel, Qt::LeftButton);
    QTest::mouseClick(form.ProductImage, Qt::LeftButton);
    QTest::mouseClick(form.CopyrightLabel, Qt::LeftButton);
    QTest::mouseClick(form.PaypalImage, Qt::LeftButton);
    QTest::mouseClick(form.PaypalImage, Qt::RightButton);  // not a click
    const QString website = QString::fromStdString(version.Website);
    ASSERT_EQ(opened.urls.size(), 4u);
    EXPECT_EQ(opened.urls[0], website);
    EXPECT_EQ(opened.urls[1], website);
    EXPECT_EQ(
        opened.urls[2],
        QStringLiteral("mailto:%1?subject=Spectrino").arg(QString::fromStdString(version.Email)));
    EXPECT_EQ(opened.urls[3], QString::fromStdString(DonationLink("Spectrino", false)));
    EXPECT_TRUE(opened.urls[3].contains(QStringLiteral("item_name=Spectrino")));
}

TEST(AboutBox, LinksFollowTheProductNameAndLanguage) {
    TProgramVersion version;
    version.ProductName = "Spectrino Pro & Co";
    version.Version = "2.3.4 (5)";
    version.Email = "a@example.org";
    const AppStrings strings(version);  // no website: its links open nothing
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    TForm3 form;
    QLocale::setDefault(QLocale::c());
    OpenedLinks opened(form);
    EXPECT_TRUE(form.German());

    form.show();
    EXPECT_EQ(form.NameVersionLabel->text(), QStringLiteral("Spectrino Pro & Co v2.3.4 (5)"));
    EXPECT_EQ(form.CopyrightLabel->Hint(),
              QStringLiteral("mailto:a@example.org?subject=Spectrino%20Pro%20%26%20Co"));
    const QString donation = form.PaypalImage->Hint();
    EXPECT_TRUE(donation.contains(QStringLiteral("item_name=Spectrino%20Pro%20%26%20Co")));
    EXPECT_EQ(donation, QString::fromStdString(DonationLink(version.ProductName, true)));
    EXPECT_NE(donation, QString::fromStdString(DonationLink(version.ProductName, false)));

    form.FormClick();
    EXPECT_TRUE(opened.urls.empty());
    // Every showing takes the strings afresh.
    form.hide();
    AppProductName = "Other";
    form.show();
    EXPECT_EQ(form.NameVersionLabel->text(), QStringLiteral("Other v2.3.4 (5)"));
    EXPECT_FALSE(TForm3().German());
}

TEST(MainIcon, ComesInEverySize) {
    const QIcon icon = MainIcon();
    ASSERT_FALSE(icon.isNull());
    const QList<QSize> sizes = icon.availableSizes();
    for (const int size : {16, 32, 48, 64, 128, 256}) {
        EXPECT_TRUE(sizes.contains(QSize(size, size))) << size;
        EXPECT_EQ(icon.pixmap(size, size).size(), QSize(size, size));
    }
}

}  // namespace
}  // namespace spectrino
