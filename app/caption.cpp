#include "app/caption.h"

#include "app/app.h"
#include "app/ids.h"
#include "platform/controls.h"
#include "platform/draw.h"
#include "platform/events.h"
#include "platform/window.h"
#include "settings/preferences.h"

constexpr uint32_t RestBackground = 0x484a4c;
constexpr uint32_t CloseHoverBackground = 0x2311e8;
constexpr uint32_t MinimizeHoverBackground = 0x5b5c5e;
constexpr uint32_t GlyphColor = 0xffffff;

// The strip by which the window is dragged, in device pixels, bounds included.
constexpr int64_t DragStripRight = 730;
constexpr int64_t DragStripBottom = 20;

static void DrawButtonBackground(int control, uint32_t background) {
  BeginDrawing(control);
  FillBox(0, 0, 46, 25, background);
}

static void DrawCloseButton(uint32_t background) {
  DrawButtonBackground(CanvasClose, background);
  DrawLine(18, 8, 27, 17, GlyphColor);
  DrawLine(27, 8, 18, 17, GlyphColor);
  EndDrawing();
}

static void DrawMinimizeButton(uint32_t background) {
  DrawButtonBackground(CanvasMinimize, background);
  DrawLine(18, 13, 27, 13, GlyphColor);
  EndDrawing();
}

static void OnCloseButtonEvent() {
  switch (CurrentEventType()) {
    case MouseLeave:
      DrawCloseButton(RestBackground);
      break;
    case MouseEnter:
    case MouseMove:
      DrawCloseButton(CloseHoverBackground);
      break;
    case LeftButtonDown:
      SavePreferences();
      EndProgram();
    default:
      break;
  }
}

static void OnMinimizeButtonEvent() {
  switch (CurrentEventType()) {
    case MouseLeave:
      DrawMinimizeButton(RestBackground);
      break;
    case MouseEnter:
    case MouseMove:
      DrawMinimizeButton(MinimizeHoverBackground);
      break;
    case LeftButtonDown:
      MinimizeWindow(MainWindow);
      break;
    default:
      break;
  }
}

int CreateCaptionButtons() {
  CreateCanvas(CanvasClose, WindowInnerWidth(MainWindow) - 46, 0, 46, 25);
  DrawCloseButton(RestBackground);
  BindControl(CanvasClose, OnCloseButtonEvent);
  CreateCanvas(CanvasMinimize, WindowInnerWidth(MainWindow) - 100, 0, 46, 25);
  DrawMinimizeButton(RestBackground);
  BindControl(CanvasMinimize, OnMinimizeButtonEvent);
  return 0;
}

bool OnMainWindowMessage(int window, int message, intptr_t, intptr_t) {
  if (message != MessageLeftButtonDown) return true;
  int64_t x = -1, y = -1;
  GetPointerPosition(window, &x, &y);
  if (x >= 0 && x <= DragStripRight && y >= 0 && y <= DragStripBottom) BeginWindowMove(window);
  return true;
}
