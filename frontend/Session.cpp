// Session.cpp - reading and writing the session file, line by line.
//
// A reader checks each line as it arrives and stops at the first fault, so
// that a binary file or an endless one (/dev/zero) is refused after at most
// one over-long line. Besides the syntax it follows the simulation's run and
// pause state through the key events (with the keyboard's own meaning of
// them, InputCodes.h), to refuse a file whose later events wait for steps
// that a paused simulation would never take, and the settings, to refuse
// one that leaves a setting's range.
#include "Session.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "InputCodes.h"

const char* const sessionHeader = "fluid-session 1";

bool parseWholeNumber(const std::string& word, long long low, long long high, long long& value) {
    std::size_t at = word.size() > 1 && word[0] == '-' ? 1 : 0;
    if (at == word.size()) return false;
    long long magnitude = 0;
    for (; at < word.size(); ++at) {
        if (word[at] < '0' || word[at] > '9') return false;
        magnitude = magnitude * 10 + (word[at] - '0');
        if (magnitude > 4000000000LL) return false;  // beyond every range used here
    }
    value = word[0] == '-' ? -magnitude : magnitude;
    return value >= low && value <= high;
}

namespace {

constexpr std::size_t maxLineLength = 200;
// The named buttons, indexed by the front end's button numbers.
const char* const buttonNames[] = {"left", "middle", "right"};
static_assert(leftButton == 0 && middleButton == 1 && rightButton == 2, "buttonNames follows the button numbers");

std::vector<std::string> splitWords(const std::string& line) {
    std::vector<std::string> words;
    std::istringstream in(line);
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

bool parseKey(const std::string& word, int& key) {
    if (word == "space") {
        key = ' ';
        return true;
    }
    if (word.size() == 1 && word[0] > ' ' && word[0] < 127) {
        key = static_cast<unsigned char>(word[0]);
        return true;
    }
    long long code = 0;
    if (word.size() < 2 || word[0] != '#' || !parseWholeNumber(word.substr(1), 0, 255, code)) return false;
    key = static_cast<int>(code);
    return true;
}

bool parseButton(const std::string& word, int& button) {
    for (int b = 0; b < 3; ++b)
        if (word == buttonNames[b]) {
            button = b;
            return true;
        }
    long long number = 0;
    if (!parseWholeNumber(word, 0, maxSessionButton, number)) return false;
    button = static_cast<int>(number);
    return true;
}

class SessionReader {
public:
    SessionReader(const std::string& name, std::vector<SessionEvent>& events, std::string& error,
                  const SettingsState& start)
        : name_(name), events_(events), error_(error), settings_(start) {
        events_.clear();
    }

    // One line without its line end; `ended` says whether the line end was there.
    bool line(const std::string& text, bool ended) {
        ++number_;
        if (!isText(text)) return false;
        if (!ended) return fail("the last line has no line end; the file was cut off");
        std::string body = text;
        if (!body.empty() && body.back() == '\r') body.pop_back();
        if (number_ == 1) return header(body);
        const std::vector<std::string> words = splitWords(body);
        if (words.empty() || words[0][0] == '#') return true;
        return event(words);
    }

    // The first maxLineLength characters of a line that goes on.
    bool tooLong(const std::string& start) {
        ++number_;
        return isText(start) && fail("line longer than " + std::to_string(maxLineLength) + " characters");
    }
    bool finish() { return number_ > 0 || fail("empty file; the first line must be '" + std::string(sessionHeader) + "'"); }

private:
    bool fail(const std::string& what) {
        error_ = name_ + ":" + std::to_string(number_ == 0 ? 1 : number_) + ": " + what;
        return false;
    }

    bool isText(const std::string& text) {
        for (const char c : text) {
            const unsigned char byte = static_cast<unsigned char>(c);
            // Control characters mark a binary file; bytes from 128 up may
            // be UTF-8 in a comment.
            if ((byte < ' ' && c != '\t' && c != '\r') || byte == 127) {
                char hex[8];
                std::snprintf(hex, sizeof hex, "0x%02x", byte);
                return fail(std::string("not a text file (byte ") + hex + ")");
            }
        }
        return true;
    }

    bool header(const std::string& text) {
        if (text == sessionHeader) return true;
        const std::string format = "fluid-session ";
        if (text.compare(0, format.size(), format) == 0)
            return fail("session format version '" + text.substr(format.size()) +
                        "' is not supported; this program reads version 1");
        return fail("not a session file; the first line must be '" + std::string(sessionHeader) + "'");
    }

    bool event(const std::vector<std::string>& words) {
        SessionEvent e;
        if (words[0][0] == '-') return fail("negative step number '" + words[0] + "'");
        if (!parseWholeNumber(words[0], 0, maxSessionStep, e.step))
            return fail("step number '" + words[0] + "' is not a whole number from 0 to " +
                        std::to_string(maxSessionStep));
        if (words.size() < 2) return fail("missing event after the step number");
        const std::string& what = words[1];
        std::size_t operands = 0;
        if (what == "key") {
            e.kind = SessionEventKind::Key;
            operands = 1;
        } else if (what == "press" || what == "release") {
            e.kind = what == "press" ? SessionEventKind::Press : SessionEventKind::Release;
            operands = 3;
        } else if (what == "drag") {
            e.kind = SessionEventKind::Drag;
            operands = 2;
        } else if (what == "size") {
            e.kind = SessionEventKind::Size;
            operands = 2;
        } else if (what == "set") {
            e.kind = SessionEventKind::Set;
            operands = 2;
        } else if (what == "end") {
            e.kind = SessionEventKind::End;
        } else {
            return fail("unknown event '" + what + "'");
        }
        if (words.size() != 2 + operands)
            return fail("'" + what + "' takes " + std::to_string(operands) + " value" + (operands == 1 ? "" : "s") +
                        ", found " + std::to_string(words.size() - 2));
        if (!operandsOf(e, words)) return false;
        return order(e);
    }

    bool operandsOf(SessionEvent& e, const std::vector<std::string>& words) {
        long long a = 0, b = 0;
        switch (e.kind) {
            case SessionEventKind::Key:
                if (!parseKey(words[2], e.key))
                    return fail("bad key '" + words[2] + "'; write one visible character, space or #CODE (0 to 255)");
                if (e.key == escapeKey) return fail("Esc is not an event; the session ends with 'end'");
                return true;
            case SessionEventKind::Press:
            case SessionEventKind::Release:
                if (!parseButton(words[2], e.button))
                    return fail("bad button '" + words[2] + "'; write left, middle, right or 0 to 31");
                return pointer(e, words[3], words[4]);
            case SessionEventKind::Drag: return pointer(e, words[2], words[3]);
            case SessionEventKind::Size:
                if (!parseWholeNumber(words[2], 1, maxSessionWindowSide, a) ||
                    !parseWholeNumber(words[3], 1, maxSessionWindowSide, b))
                    return fail("window size '" + words[2] + " " + words[3] + "' is out of range; each side 1 to " +
                                std::to_string(maxSessionWindowSide));
                e.x = static_cast<int>(a);
                e.y = static_cast<int>(b);
                return true;
            case SessionEventKind::Set: {
                std::string why;
                if (!parseSetting(words[2], words[3], e.setting, why) || !allowSetting(settings_, e.setting, why))
                    return fail(why);
                return true;
            }
            case SessionEventKind::End: return true;
        }
        return true;
    }

    bool pointer(SessionEvent& e, const std::string& xWord, const std::string& yWord) {
        long long x = 0, y = 0;
        const long long low = -2147483648LL, high = 2147483647LL;
        if (!parseWholeNumber(xWord, low, high, x) || !parseWholeNumber(yWord, low, high, y))
            return fail("pointer position '" + xWord + " " + yWord + "' is not two whole numbers in the int range");
        e.x = static_cast<int>(x);
        e.y = static_cast<int>(y);
        return true;
    }

    // The step order, and the steps the simulation takes between events: it
    // runs at start, and the keys change that as the keyboard does.
    bool order(const SessionEvent& e) {
        if (ended_) return fail("event after 'end'");
        if (e.step < stepsTaken_)
            return fail("step " + std::to_string(e.step) + " comes after step " + std::to_string(stepsTaken_));
        if (e.step > stepsTaken_ && !run_.running && !(run_.stepOnce && e.step == stepsTaken_ + 1))
            return fail("step " + std::to_string(e.step) + " is never reached: the simulation is paused at step " +
                        std::to_string(stepsTaken_ + (run_.stepOnce ? 1 : 0)));
        if (e.step > stepsTaken_) run_.stepOnce = false;
        stepsTaken_ = e.step;
        if (e.kind == SessionEventKind::Key) run_ = runStateAfterKey(run_, e.key);
        ended_ = e.kind == SessionEventKind::End;
        events_.push_back(e);
        return true;
    }

    const std::string& name_;
    std::vector<SessionEvent>& events_;
    std::string& error_;
    int number_ = 0;
    long long stepsTaken_ = 0;
    RunState run_{true, false};  // the start state: running
    SettingsState settings_;     // the settings after the events so far
    bool ended_ = false;
};

}  // namespace

bool parseSession(const std::string& text, const std::string& name, std::vector<SessionEvent>& events,
                  std::string& error, const SettingsState& settings) {
    SessionReader reader(name, events, error, settings);
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        const std::size_t stop = end == std::string::npos ? text.size() : end;
        if (stop - start > maxLineLength) return reader.tooLong(text.substr(start, maxLineLength));
        if (!reader.line(text.substr(start, stop - start), end != std::string::npos)) return false;
        start = stop + 1;
    }
    return reader.finish();
}

bool readSessionFile(const std::string& path, std::vector<SessionEvent>& events, std::string& error,
                     const SettingsState& settings) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        error = path + ": cannot read: " + std::strerror(errno);
        return false;
    }
    SessionReader reader(path, events, error, settings);
    std::string line;
    bool ok = true;
    for (int c; ok && (c = std::getc(file)) != EOF;) {
        if (c == '\n') {
            ok = reader.line(line, true);
            line.clear();
        } else if (line.size() == maxLineLength) {
            ok = reader.tooLong(line);
        } else {
            line.push_back(static_cast<char>(c));
        }
    }
    if (ok && std::ferror(file)) {
        error = path + ": cannot read: " + std::strerror(errno);
        ok = false;
    }
    std::fclose(file);
    if (!ok) return false;
    if (!line.empty()) return reader.line(line, false);
    return reader.finish();
}

std::string formatSessionEvent(const SessionEvent& e) {
    std::string text = std::to_string(e.step) + " ";
    const auto button = [](int b) { return b >= 0 && b < 3 ? std::string(buttonNames[b]) : std::to_string(b); };
    const auto pair = [](int a, int b) { return std::to_string(a) + " " + std::to_string(b); };
    switch (e.kind) {
        case SessionEventKind::Key:
            if (e.key == ' ') return text + "key space";
            if (e.key > ' ' && e.key < 127) return text + "key " + static_cast<char>(e.key);
            return text + "key #" + std::to_string(e.key);
        case SessionEventKind::Press: return text + "press " + button(e.button) + " " + pair(e.x, e.y);
        case SessionEventKind::Release: return text + "release " + button(e.button) + " " + pair(e.x, e.y);
        case SessionEventKind::Drag: return text + "drag " + pair(e.x, e.y);
        case SessionEventKind::Size: return text + "size " + pair(e.x, e.y);
        case SessionEventKind::Set: return text + "set " + formatSetting(e.setting);
        case SessionEventKind::End: return text + "end";
    }
    return text;
}
