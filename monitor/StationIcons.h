#pragma once
// The program's own small pictures, painted rather than loaded: the inverter list's row images,
// the RX/TX lamp of the status bar and the tool bar's command icons.

#include <QIcon>
#include <QPixmap>

namespace vm {

// Row image 0 stop, 1 forward, 2 reverse, 3 fault, 4 disconnected, 5 not supported; 16 x 16.
QPixmap RowImagePixmap(int image, qreal devicePixelRatio = 1.0);

// RX/TX lamp for the lamp bits (1 transmit, 2 receive).
QPixmap LampPixmap(int bits, qreal devicePixelRatio = 1.0);

enum class ToolIcon { Connect, Stop, Update, Information, Keypad, Editor, OfflineEditor, Graph, Port };
QIcon ToolBarIcon(ToolIcon icon);

}  // namespace vm
