// The program's icon (icon resource 128): a washi-white envelope on an indigo tile,
// sealed with a vermilion stamp that carries the Japanese postal mark. Painted in
// code at every size, so that small sizes stay clean rather than being scaled down.
#pragma once

#include <QIcon>
#include <QImage>

namespace qubopost::gui {

// The icon at one size (size × size pixels, transparent around the tile).
QImage RenderQubopostIcon(int size);

// The icon with hand-painted images from 16 to 256 pixels.
QIcon QubopostIcon();

}  // namespace qubopost::gui
