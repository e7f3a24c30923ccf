#pragma once

namespace Application {

// Creates the application and the main window, runs the window's load step,
// shows it and runs until it is closed.
int run(int argc, char **argv);

} // namespace Application
