// LinkAndProgressTest.cpp - the desktop's small pure pieces on their own:
// base64url decoding (against RFC 4648's test vectors) and the progress
// line's text and its terminal test (a pseudo-terminal against a pipe).
#include <gtest/gtest.h>

#include <pty.h>
#include <unistd.h>

#include <string>

#include "Base64Url.h"
#include "Progress.h"

namespace {

TEST(Base64Url, DecodesTheRfcVectorsAndTheUrlAlphabet) {
    struct Case {
        std::string text, bytes;
    };
    // RFC 4648 section 10, padding removed; then the two characters that
    // differ from base64 ('-' for 62, '_' for 63).
    const Case cases[] = {
        {"", ""},          {"Zg", "f"},          {"Zm8", "fo"},         {"Zm9v", "foo"},
        {"Zm9vYg", "foob"}, {"Zm9vYmE", "fooba"}, {"Zm9vYmFy", "foobar"}, {"-_8", "\xfb\xff"},
        {"AA", std::string(1, '\0')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::string bytes, error;
        EXPECT_TRUE(decodeBase64Url(c.text, bytes, error)) << error;
        EXPECT_EQ(bytes, c.bytes);
    }
}

TEST(Base64Url, RefusesPaddingForeignCharactersAndImpossibleLengths) {
    struct Case {
        std::string text, error;
    };
    const Case cases[] = {
        {"Zg==", "it has '=' padding, which links leave out"},
        {"Zm8=", "it has '=' padding, which links leave out"},
        {"Zm+v", "character '+' at position 3 is not base64url"},
        {"Zm9/", "character '/' at position 4 is not base64url"},
        {"Zm\n9v", "character 0x0a at position 3 is not base64url"},
        {"Z", "its length leaves a lone character, which no base64url text has"},
        {"Zm9vY", "its length leaves a lone character, which no base64url text has"},
        {"Zh", "its last character has bits set beyond the data"},  // "Zg" is the one spelling of "f"
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::string bytes, error;
        EXPECT_FALSE(decodeBase64Url(c.text, bytes, error));
        EXPECT_EQ(error, c.error);
    }
}

TEST(Progress, TheLineGivesFramesRateAndTimeLeft) {
    struct Case {
        long long done, total;
        double seconds;
        const char* text;
    };
    const Case cases[] = {
        {0, 240, 0.0, "frame 0/240"},
        {60, 240, 2.0, "frame 60/240, 30.0 frames/s, 6 s left"},
        {240, 240, 4.0, "frame 240/240, 60.0 frames/s, 0 s left"},
        {1, 3600, 0.5, "frame 1/3600, 2.0 frames/s, 1800 s left"},
    };
    for (const Case& c : cases) EXPECT_EQ(progressText(c.done, c.total, c.seconds), c.text);
}

TEST(Progress, IsWantedOnATerminalOnly) {
    int terminal = -1, other = -1;
    ASSERT_EQ(openpty(&terminal, &other, nullptr, nullptr, nullptr), 0);
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    EXPECT_TRUE(progressWanted(other));
    EXPECT_FALSE(progressWanted(ends[1]));
    EXPECT_FALSE(progressWanted(-1));
    for (int fd : {terminal, other, ends[0], ends[1]}) close(fd);
}

}  // namespace
