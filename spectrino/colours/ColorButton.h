// A push button whose face is filled with a chosen colour: the swatches of the colour dialog.
// It keeps the push button's behaviour (click, focus, keyboard, default button) and replaces
// only its look, which is the same in every state.
#pragma once

#include <QPushButton>

#include <cstdint>

#include "display/spectrum.h"

namespace spectrino {

// Item-state bits of one draw request.
enum TOwnerDrawState : uint32_t {
    odsSelected = 1,  // pressed
    odsDisabled = 4,
    odsFocus = 16,
};

// System colours used by the drawing.
inline constexpr TColor clBtnFace = 0xFF00000F;
inline constexpr TColor clBtnText = 0xFF000012;
inline constexpr TColor clWindowFrame = 0xFF000006;
inline constexpr TColor clBtnShadow = 0xFF000010;

class TColorButton : public QPushButton {
    Q_OBJECT

public:
    explicit TColorButton(QWidget* parent = nullptr);

    // The face colour; while the pointer is over the button this shows HoverColor.
    TColor BackColor() const { return FBackColor; }
    void SetBackColor(TColor value);
    TColor ForeColor() const { return FForeColor; }
    void SetForeColor(TColor value);
    TColor HoverColor() const { return FHoverColor; }
    void SetHoverColor(TColor value);
    // The face colour the pointer's leaving returns to.
    TColor NormalColor() const { return FNormalColor; }

    // Whether the button is the one Enter presses, which draws the dark outline.
    bool IsActive() const { return FIsActive; }
    void SetButtonStyle(bool active);

    // Draws the button into `rect` for the given odsSelected/odsDisabled/odsFocus bits.
    void DrawButton(QPainter& canvas, QRect rect, uint32_t state) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    TColor FBackColor = clBtnFace;
    TColor FForeColor = clBtnText;
    TColor FHoverColor = clBtnFace;
    TColor FNormalColor = clBtnFace;
    bool FIsActive = false;
};

}  // namespace spectrino
