// SessionLink.h - a share link (ShareLink.h) read on the desktop: wherever
// the program takes a session file, it takes a link's text too.
#pragma once

#include <string>
#include <vector>

#include "Session.h"
#include "Settings.h"

// The name a link's session goes by in messages ("the link:3: ...").
extern const char* const sessionLinkName;

// True when `argument` is a link rather than a file name: it holds shareLinkMarker.
bool isSessionLink(const std::string& argument);

// Inflates the raw DEFLATE stream in `compressed` into `text`, stopping at
// maxLinkSessionBytes. False with a one-sentence message for a corrupt or
// truncated stream, bytes after its end, or too much text.
bool inflateLinkSession(const std::string& compressed, std::string& text, std::string& error);

// The session in the link: what follows the marker, decoded from base64url,
// inflated and parsed from the settings `start`. False with a one-sentence
// message.
bool readSessionLink(const std::string& link, std::vector<SessionEvent>& events, std::string& error,
                     const SettingsState& start = defaultSettings());
