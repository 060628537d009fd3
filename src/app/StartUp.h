#pragma once

// The program's start and end: the window system, the application object, the main window's run,
// and an exit that cannot hang on a stuck sync thread.
class StartUp
{
public:
    // The program: prepares the platform, loads the main window and runs it.
    static int run(int argc, char *argv[]);
    // The application object's names and Qt's Chinese texts; no display name, so the window
    // system shows every caption exactly as set.
    static void setUpApplication();
    // Before the application starts: X11 when no window system is asked for and an X display is
    // there, since only there can the menu hold the web helper's window.
    static void chooseWindowSystem();

private:
    static int runMainWindow();
    // Ends the process with code, skipping the exit handlers while a sync thread may still be inside them.
    static int exitWith(int code);
};
