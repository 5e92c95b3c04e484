// NoVideo.cpp - stands in for video writing in a build without FFmpeg's libraries.
#include "VideoFile.h"

const char* const videoEndings = ".mp4, .webm or .gif";

bool openVideoFile(const std::string&, std::string& error, int& status) {
    error = "this build cannot write videos: FFmpeg's libraries were missing when it was built";
    status = 1;
    return false;
}
bool addVideoFrame(const unsigned char*, int, int, std::string&) { return false; }
bool closeVideoFile(std::string&) { return false; }
void discardVideoFile() {}
