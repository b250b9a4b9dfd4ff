// Start-up, the main window and the end of the program.
#pragma once

// Runs the start-up sequence and then the main loop for ever; leaves only through EndProgram.
[[noreturn]] void RunMainWindow();

// Fonts, data folder, logo and preferences.
int InitResources();

// Opens the main window hidden and creates its controls. False when the window cannot be opened.
bool CreateMainWindow();

// Binds the handlers, posts the first redraw events, starts the poll timer, loads the player page,
// shows the window and installs its message hook: everything between creating the window and the
// main loop.
void StartMainWindow();

// Closes everything down and ends the process with exit code 0.
[[noreturn]] void EndProgram();
