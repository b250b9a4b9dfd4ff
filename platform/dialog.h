// The modal message box.
#pragma once

#include <string>

// A modal box with the error icon and an OK button; returns when the user answered it.
void ShowErrorBox(const std::string& title, const std::string& text);

// Test seam: called with the box's title and text once it is on screen; returning true closes it.
void SetMessageBoxObserver(bool (*observer)(const std::string& title, const std::string& text));
