// LiveInput.cpp - live input as session events.
#include "LiveInput.h"

#include "FrontEndState.h"
#include "InputCodes.h"
#include "Keyboard.h"
#include "Mouse.h"
#include "SessionPlayback.h"

void liveKeyboard(unsigned char key, int x, int y) {
    if (programEnded) return;
    if (key == escapeKey) {
        keyboardCommand(key, x, y);  // quits, during a replay too
        return;
    }
    if (replayPending()) return;
    SessionEvent event;
    event.kind = SessionEventKind::Key;
    event.key = key;
    applySessionEvent(event);
}

void liveMouseButton(int button, int state, int x, int y) {
    if (programEnded || replayPending()) return;
    const int ourState = state == buttonDown ? buttonDown : buttonUp;
    // Window systems report buttons 0 to a few; a number a file could not
    // hold is acted on but not recorded.
    if (button < 0 || button > maxSessionButton) {
        mouseButton(button, ourState, x, y);
        return;
    }
    SessionEvent event;
    event.kind = ourState == buttonDown ? SessionEventKind::Press : SessionEventKind::Release;
    event.button = button;
    event.x = x;
    event.y = y;
    applySessionEvent(event);
}

void liveMouseMotion(int x, int y) {
    if (programEnded || replayPending()) return;
    SessionEvent event;
    event.kind = SessionEventKind::Drag;
    event.x = x;
    event.y = y;
    applySessionEvent(event);
}

void liveReshape(int width, int height) {
    if (programEnded) return;
    const bool changed = width != windowWidth || height != windowHeight;
    if (changed && replayPending()) return;
    const bool recordable = width >= 1 && height >= 1 && width <= maxSessionWindowSide && height <= maxSessionWindowSide;
    if (changed && recordable) recordSizeChange(width, height);
    reshapeWindow(width, height);
}

bool liveSetting(const Setting& setting, std::string& error) {
    if (programEnded || replayPending()) {
        error = "a setting waits until the replay has ended";
        return false;
    }
    SettingsState state = currentSettings();
    if (!allowSetting(state, setting, error)) return false;
    SessionEvent event;
    event.kind = SessionEventKind::Set;
    event.setting = setting;
    applySessionEvent(event);
    return true;
}
