// Dialog units: the resource coordinates of the control table, scaled by the dialog
// font the way the Windows dialog manager scales them, so that the window keeps the
// proportions its layout was drawn for.
#pragma once

#include <QFont>
#include <QRect>

namespace qubopost::gui {

// The dialog font: 9 point IPA P Gothic, else another Japanese Gothic, else the
// toolkit's default family at 9 points. Needs the application object.
QFont DialogFont();

class DialogUnits {
public:
    DialogUnits(int baseX, int baseY) : m_baseX(baseX), m_baseY(baseY) {}
    // Base units of a font: x from the average width of the 52 Latin letters
    // (rounded as the dialog manager rounds it), y the font's height.
    static DialogUnits FromFont(const QFont& font);

    int BaseX() const { return m_baseX; }
    int BaseY() const { return m_baseY; }

    // Each of x, y, width and height is scaled on its own, as controls are.
    int X(int dluX) const;
    int Y(int dluY) const;
    QRect Rect(int x, int y, int width, int height) const;

    // a * b / c rounded half away from zero.
    static int MulDiv(int a, int b, int c);

private:
    int m_baseX;
    int m_baseY;
};

}  // namespace qubopost::gui
