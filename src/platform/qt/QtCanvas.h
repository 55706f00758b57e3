// The canvas on 8-bit palette pictures, drawn by QPainter (its factory is
// declared in platform/Canvas.h), and the application object that Qt's fonts
// need.
#pragma once

namespace vivurozed {

// Makes sure a QGuiApplication exists: when there is no application yet, one
// is made on the offscreen platform, so drawing works with no display. False
// when a non-GUI application is already running; text is then not drawn.
bool EnsureGuiApplication();

}  // namespace vivurozed
