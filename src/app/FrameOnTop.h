#pragma once

class QFrame;

namespace quillon::app {

// Draws `frame`'s border once more, above the frame's children and on whole device pixels, when
// the window is scaled. Scaled, a frame loses border lines: where its edge falls on a fraction of
// a device pixel the style draws a line half outside the frame, where nothing shows, and a child
// that reaches the border's device pixels (an address field's octets, a list's scroll bar or
// rows) is painted after its parent and hides it. The copy lets mouse events through.
void KeepFrameOnTop(QFrame& frame);

} // namespace quillon::app
