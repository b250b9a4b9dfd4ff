// The title bar's own caption buttons and the dragging of the borderless window.
#pragma once

#include <cstdint>

// Makes, paints and wires the close and minimise buttons.
int CreateCaptionButtons();

// The main window's message hook: a left-button press in the top strip starts a window move.
bool OnMainWindowMessage(int window, int message, intptr_t wparam, intptr_t lparam);
