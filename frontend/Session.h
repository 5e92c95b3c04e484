// Session.h - a recorded session: the input events of one run, each stamped
// with the number of simulation steps completed before it.
//
// The solver is deterministic, so the events and their step numbers are all
// it takes to reproduce a run bit for bit: an event stamped k is applied just
// before step k + 1. The file is plain text, one event a line, after a first
// line that names the format and its version:
//
//     fluid-session 1
//     # blank lines and lines starting with # are ignored
//     0 key c              a key: one visible character, space, or #CODE (0..255)
//     3 press right 130 200     a button: left, middle, right or 0..31; pointer x y
//     3 release right 130 200
//     5 drag 140 190       pointer motion with a button held
//     9 size 640 480       the window's new size, 1..16384 each way
//     10 set diff 0        a setting (Settings.h): dt, diff, viscosity, sources, palette
//     12 end               the session ended after 12 steps
//
// Step numbers never decrease, `end` comes last, and every step a later
// event waits for must actually happen (the simulation runs at start, `s`
// pauses and resumes it, space asks for one step: InputCodes.h), and every
// setting stays in its range, starting from the settings the replay starts
// with. Esc is never an event: it ends the session, which the recording
// writes as `end`.
#pragma once

#include <string>
#include <vector>

#include "Settings.h"

enum class SessionEventKind { Key, Press, Release, Drag, Size, Set, End };

struct SessionEvent {
    long long step = 0;  // steps completed before the event, 0..maxSessionStep
    SessionEventKind kind = SessionEventKind::End;
    int key = 0;     // Key: character code 0..255, never 27
    int button = 0;  // Press, Release: 0..31, the front end's numbering (InputCodes.h)
    int x = 0, y = 0;  // Press, Release, Drag: pointer position; Size: width, height
    Setting setting;   // Set
};

constexpr long long maxSessionStep = 2147483647;
constexpr int maxSessionButton = 31;
constexpr int maxSessionWindowSide = 16384;
extern const char* const sessionHeader;  // "fluid-session 1"

// Parses a whole session from `text`, replayed from the settings `start`.
// On a fault: false, and `error` says "NAME:LINE: what is wrong" with NAME
// the file's name as given.
bool parseSession(const std::string& text, const std::string& name, std::vector<SessionEvent>& events,
                  std::string& error, const SettingsState& start = defaultSettings());

// Reads and parses the file at `path`; a file that cannot be read is a fault
// too ("PATH: cannot read: reason").
bool readSessionFile(const std::string& path, std::vector<SessionEvent>& events, std::string& error,
                     const SettingsState& start = defaultSettings());

// A decimal integer in [low, high], with an optional leading minus sign; the
// file's numbers and the command line's step count read the same way.
bool parseWholeNumber(const std::string& word, long long low, long long high, long long& value);

// One event as its line in the file, without the line end.
std::string formatSessionEvent(const SessionEvent& event);
