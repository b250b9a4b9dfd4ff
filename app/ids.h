// The small integers by which the program names its window, controls, fonts, image, timer and
// its own event type.
#pragma once

#include <cstdint>

constexpr int MainWindow = 1;

constexpr int CanvasNowPlaying = 1;
constexpr int CanvasLogo = 2;
constexpr int WebPlayer = 3;
constexpr int TitleLabel = 4;
constexpr int TitleGap = 5;
constexpr int BorderLeft = 6;
constexpr int BorderRight = 7;
constexpr int BorderBottom = 8;
constexpr int CanvasClose = 9;
constexpr int CanvasMinimize = 10;

constexpr int FontHeading = 1;  // 11 points
constexpr int FontArtist = 2;   // 14 points
constexpr int FontText = 3;     // 12 points

constexpr int LogoImage = 1;

constexpr int PollTimer = 123;
constexpr int PollIntervalMs = 750;

// The redraw request the program posts to a panel; the data's meaning is the panel's.
constexpr int64_t EventTypeRedraw = 768;
