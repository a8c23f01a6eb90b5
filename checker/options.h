// The checker's options, from its command line. No X.
#pragma once
#include <string>

struct Options {
    const char* display = nullptr; // null: DISPLAY
    int frames = 300;              // judged frames to watch for, unless seconds is set
    double seconds = 0;            // seconds to watch for; 0: count frames
    double rate = 0;               // grabs a second when sampling; 0: every frame
    double quiet = 0.001;          // seconds between changes that no present's burst spans
    int minDistinct = 0;           // fewer distinct box positions than this is a bug
    std::string title;             // a part of the window's title
    double wait = 30;              // seconds without a change that end the watch
    bool follow = false;           // find the window again before every grab
    bool untilClosed = false;      // watch until the window goes away, however long
    bool where = false;            // only say where the window is
    std::string save;              // folder for the pictures; empty: none
    std::string json;              // file for the results; empty: none
    std::string presents;          // the present recorder's file; empty: no accounting
};

// Reads the arguments into `options`, which starts with the defaults above and the program's
// own title. Returns an empty string when they are all right; otherwise one line that says
// which argument is wrong and why.
std::string ParseOptions(int argc, char** argv, Options& options);

// Prints the usage to stderr.
void PrintUsage();
