// InputCodes.h - the front end's own names for input: every command key,
// the mouse buttons and their states, and what the run and pause keys do.
// The keyboard, the session file and its checker and the live callbacks use
// these, and the page is handed them by the program (web/WebExports.cpp), so
// that a key or a button means one thing everywhere.
#pragma once

// The command keys, matched by exact character code: upper and lower case
// are different commands.
constexpr int escapeKey = 27;      // quits; never a session event
constexpr int pauseKey = 's';      // pauses and resumes the simulation
constexpr int stepKey = ' ';       // asks for one step
constexpr int editWallsKey = 'B';  // the left button draws and erases obstacles
constexpr int obstaclesKey = 'b';  // shows the obstacles
constexpr int dumpKey = 'c';       // prints the fields after each step
constexpr int densityKey = 'd';    // shows the density
constexpr int sourceKey = 'f';     // the fixed source
constexpr int gridKey = 'g';       // shows the grid
constexpr int resetKey = 'r';      // clears every field
constexpr int velocityKey = 'v';   // shows the velocity lines

// Every command key with the name the page knows it by.
struct KeyCommand {
    const char* name;
    int key;
};
constexpr KeyCommand keyCommands[] = {
    {"pause", pauseKey},     {"step", stepKey}, {"walls", editWallsKey}, {"obstacles", obstaclesKey},
    {"dump", dumpKey},       {"density", densityKey}, {"source", sourceKey}, {"grid", gridKey},
    {"reset", resetKey},     {"velocity", velocityKey}, {"quit", escapeKey},
};

// Mouse buttons and button states as the front end and the session file
// number them (the window system's numbering is the platform's, Platform.h).
// Other buttons keep their number.
constexpr int leftButton = 0;
constexpr int middleButton = 1;
constexpr int rightButton = 2;
constexpr int buttonDown = 0;  // the state of a press
constexpr int buttonUp = 1;    // the state of a release

// Whether the simulation runs at every redraw, and whether one step is asked
// for at the next redraw whether it runs or not.
struct RunState {
    bool running;
    bool stepOnce;
};

// What a key does to the run state: the pause key turns running over, the
// step key asks for one step, every other key leaves it alone.
constexpr RunState runStateAfterKey(RunState state, int key) {
    if (key == pauseKey) state.running = !state.running;
    if (key == stepKey) state.stepOnce = true;
    return state;
}
