#include "colours/ColorButton.h"

#include <QEnterEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>

#include <vector>

namespace spectrino {
namespace {

constexpr TColor clBtnHighlight = 0xFF000014;

// A one-pixel outline just inside `rect`.
void Outline(QPainter& canvas, const QRect& rect, const QColor& color) {
    if (rect.isEmpty()) {
        return;
    }
    canvas.fillRect(rect.left(), rect.top(), rect.width(), 1, color);
    canvas.fillRect(rect.left(), rect.bottom(), rect.width(), 1, color);
    canvas.fillRect(rect.left(), rect.top(), 1, rect.height(), color);
    canvas.fillRect(rect.right(), rect.top(), 1, rect.height(), color);
}

// Inverts every other pixel of the outline of `rect`, like the platform's dotted focus
// rectangle: drawing it twice removes it again.
void FocusRect(QPainter& canvas, const QRect& rect) {
    if (rect.isEmpty()) {
        return;
    }
    std::vector<QPoint> dots;
    auto dot = [&](int x, int y) {
        if ((x - rect.left() + y - rect.top()) % 2 == 0) {
            dots.emplace_back(x, y);
        }
    };
    for (int x = rect.left(); x <= rect.right(); ++x) {
        dot(x, rect.top());
        if (rect.height() > 1) {
            dot(x, rect.bottom());
        }
    }
    for (int y = rect.top() + 1; y < rect.bottom(); ++y) {
        dot(rect.left(), y);
        if (rect.width() > 1) {
            dot(rect.right(), y);
        }
    }
    canvas.save();
    canvas.setRenderHint(QPainter::Antialiasing, false);
    canvas.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    canvas.setPen(QPen(Qt::white, 0));
    canvas.drawPoints(dots.data(), static_cast<int>(dots.size()));
    canvas.restore();
}

}  // namespace

TColorButton::TColorButton(QWidget* parent) : QPushButton(parent) {}

void TColorButton::SetBackColor(TColor value) {
    if (value != FBackColor) {
        FBackColor = value;
        FNormalColor = value;
        update();
    }
}

void TColorButton::SetForeColor(TColor value) {
    if (value != FForeColor) {
        FForeColor = value;
        update();
    }
}

void TColorButton::SetHoverColor(TColor value) {
    if (value != FHoverColor) {
        FHoverColor = value;
        update();
    }
}

void TColorButton::SetButtonStyle(bool active) {
    if (active != FIsActive) {
        FIsActive = active;
        update();
    }
}

void TColorButton::DrawButton(QPainter& canvas, QRect rect, uint32_t state) const {
    const bool selected = (state & odsSelected) != 0;
    const bool disabled = (state & odsDisabled) != 0;
    const bool focused = (state & odsFocus) != 0;
    const QRect kept = rect;

    if (FIsActive || focused) {
        Outline(canvas, rect, ColorToQColor(clWindowFrame));
        rect.adjust(1, 1, -1, -1);
    }
    if (selected) {
        canvas.fillRect(rect, ColorToQColor(clBtnFace));
        Outline(canvas, rect, ColorToQColor(clBtnShadow));
        rect.adjust(1, 1, -1, -1);
        rect.translate(1, 1);  // the pressed face shifts
    } else {
        // The style's push-button bevel, always plain: neither hovered, focused nor default.
        QStyleOptionButton frame;
        frame.initFrom(this);
        frame.rect = rect;
        frame.features = QStyleOptionButton::None;
        frame.state = QStyle::State_Raised;
        if (!disabled) {
            frame.state |= QStyle::State_Enabled;
        }
        style()->drawPrimitive(QStyle::PE_PanelButtonCommand, &frame, &canvas, this);
        rect.adjust(2, 2, -2, -2);
    }
    canvas.fillRect(rect, ColorToQColor(FBackColor));

    const QString caption = text();
    if (!caption.isEmpty()) {
        canvas.setFont(font());
        if (disabled) {
            // Embossed: a highlight copy one pixel down and right under a shadow copy.
            const QFontMetrics metrics(font());
            const QSize size(metrics.horizontalAdvance(caption), metrics.height());
            const QRect place(rect.topLeft() + QPoint((rect.width() - size.width()) / 2,
                                                      (rect.height() - size.height()) / 2),
                              size);
            const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine;
            canvas.setPen(ColorToQColor(clBtnHighlight));
            canvas.drawText(place.translated(1, 1), flags, caption);
            canvas.setPen(ColorToQColor(clBtnShadow));
            canvas.drawText(place, flags, caption);
        } else {
            canvas.setPen(ColorToQColor(FForeColor));
            canvas.drawText(rect, Qt::AlignCenter | Qt::TextSingleLine | Qt::TextShowMnemonic,
                            caption);
        }
    }

    if (FIsActive && focused) {
        FocusRect(canvas, kept.adjusted(4, 4, -4, -4));
    }
}

void TColorButton::paintEvent(QPaintEvent*) {
    // Qt moves the default-button mark between a dialog's buttons without telling them; pick it
    // up here, inside the paint the move asks for.
    FIsActive = isDefault();
    uint32_t state = 0;
    if (isDown()) {
        state |= odsSelected;
    }
    if (!isEnabled()) {
        state |= odsDisabled;
    }
    if (hasFocus()) {
        state |= odsFocus;
    }
    QPainter canvas(this);
    DrawButton(canvas, rect(), state);
}

void TColorButton::enterEvent(QEnterEvent* event) {
    FNormalColor = FBackColor;
    FBackColor = FHoverColor;
    update();
    QPushButton::enterEvent(event);
}

void TColorButton::leaveEvent(QEvent* event) {
    FBackColor = FNormalColor;
    update();
    QPushButton::leaveEvent(event);
}

void TColorButton::focusInEvent(QFocusEvent* event) {
    QPushButton::focusInEvent(event);
    SetButtonStyle(isDefault());
}

void TColorButton::focusOutEvent(QFocusEvent* event) {
    QPushButton::focusOutEvent(event);
    SetButtonStyle(isDefault());
}

void TColorButton::changeEvent(QEvent* event) {
    QPushButton::changeEvent(event);
    if (event->type() == QEvent::EnabledChange || event->type() == QEvent::FontChange) {
        update();
    }
}

}  // namespace spectrino
