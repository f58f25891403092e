// The about box: product name and version, copyright and icon from the program file, with
// links to the project's web page, its mail address and its donation page.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QString>

#include <functional>

class QPushButton;
class QTabWidget;
class QUrl;

namespace spectrino {

// A label or picture that reacts to a click and keeps its link target as its hint.
class TClickLabel : public QLabel {
    Q_OBJECT

public:
    explicit TClickLabel(QWidget* parent = nullptr);

    const QString& Hint() const { return FHint; }
    // A shown hint also appears as the tooltip.
    void SetHint(const QString& hint, bool show);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QString FHint;
};

class TForm3 : public QDialog {
    Q_OBJECT

public:
    explicit TForm3(QWidget* parent = nullptr);

    void FormCreate();
    void FormShow();
    void FormClick();
    void CopyrightLabelClick();
    void PaypalImageClick();

    // Whether the donation page is offered in German.
    bool German() const { return FGerman; }

    // Hands a link to the desktop; failures are ignored.
    std::function<void(const QUrl& url)> OpenUrl;

    QTabWidget* PageControl1 = nullptr;
    TClickLabel* ProductImage = nullptr;
    TClickLabel* NameVersionLabel = nullptr;
    TClickLabel* CopyrightLabel = nullptr;
    QLabel* CreditLabel = nullptr;
    QLabel* TermsLabel = nullptr;
    QLabel* DonationLabel = nullptr;
    TClickLabel* PaypalImage = nullptr;
    QPushButton* OKButton = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Open(const QString& link);

    bool FGerman = false;
};

}  // namespace spectrino
