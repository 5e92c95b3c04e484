// VideoFile.h - the frames of a headless run written as one video file,
// through FFmpeg's libraries, with no image files in between.
//
// The container and codec follow the name's ending (videoEndings). The file
// is written under a temporary name in the same folder and renamed when
// finished, so that a failed or interrupted run leaves no partial video.
#pragma once

#include <string>

constexpr int videoFramesPerSecond = 60;
// The endings a video may have, for messages.
extern const char* const videoEndings;  // ".mp4, .webm or .gif"

// Checks the name's ending and its folder and creates the temporary file,
// before any frame is drawn. False with a one-sentence message; `status` is
// then 2 for a name that cannot be written (a fault of the command line) and
// 1 in a build without FFmpeg's libraries.
bool openVideoFile(const std::string& path, std::string& error, int& status);

// Adds one frame of width * height pixels of 3 bytes, rows from the bottom
// up as GL reads them. The first frame sets the video's size; a later frame
// of another size (a replayed resize) is scaled to it.
bool addVideoFrame(const unsigned char* rgb, int width, int height, std::string& error);

// Finishes the file and gives it its name.
bool closeVideoFile(std::string& error);

// Removes the temporary file of a video not finished; nothing otherwise.
void discardVideoFile();
