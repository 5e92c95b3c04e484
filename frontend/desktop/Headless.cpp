// Headless.cpp - sessions rendered offscreen: EGL on Mesa's surfaceless
// platform, no window system at all.
//
// The context is a compatibility-profile OpenGL context on a pbuffer with a
// depth buffer, the same kind of surface the window has, so the front end's
// own drawing runs unchanged and gives the window's pixels. A replayed size
// change makes a new pbuffer of that size for the same context (the display
// lists survive). Frames are read back from the back buffer.
//
// One frame is drawn per step, the frame every wing runs (FrameLoop.h): the
// step, then the events recorded before the next step, then the drawing. So
// the last frame shows the fields after the last step and the views as the
// session left them.
//
// A video (--video) is written from the same frames as --frames, without
// files in between (VideoFile.h); it is opened before the first frame so
// that a name it cannot have is refused before any work.
#include "Headless.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "FrameLoop.h"
#include "FrontEndState.h"
#include "GlDrawing.h"
#include "Platform.h"
#include "PngFile.h"
#include "Progress.h"
#include "SessionPlayback.h"
#include "VideoFile.h"

namespace {

EGLDisplay display = EGL_NO_DISPLAY;
EGLConfig config = nullptr;
EGLContext context = EGL_NO_CONTEXT;
EGLSurface surface = EGL_NO_SURFACE;

std::string eglFault(const char* what) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%04x", static_cast<unsigned>(eglGetError()));
    return std::string(what) + " failed (EGL error " + code + ")";
}

bool makeSurface(int width, int height, std::string& error) {
    const EGLint size[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
    const EGLSurface made = eglCreatePbufferSurface(display, config, size);
    if (made == EGL_NO_SURFACE) {
        error = eglFault("eglCreatePbufferSurface") + " for " + std::to_string(width) + " x " + std::to_string(height);
        return false;
    }
    if (!eglMakeCurrent(display, made, made, context)) {
        error = eglFault("eglMakeCurrent");
        eglDestroySurface(display, made);
        return false;
    }
    if (surface != EGL_NO_SURFACE) eglDestroySurface(display, surface);
    surface = made;
    return true;
}

bool openContext(int width, int height, std::string& error) {
    const auto getPlatformDisplay =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!getPlatformDisplay) {
        error = "EGL has no eglGetPlatformDisplayEXT";
        return false;
    }
    display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    EGLint major = 0, minor = 0;
    if (display == EGL_NO_DISPLAY || !eglInitialize(display, &major, &minor)) {
        error = eglFault("eglInitialize on Mesa's surfaceless platform");
        return false;
    }
    const EGLint wanted[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
                             EGL_RED_SIZE, 8, EGL_GREEN_SIZE, 8, EGL_BLUE_SIZE, 8, EGL_DEPTH_SIZE, 24, EGL_NONE};
    // EGL lists deeper colours first (Mesa offers 10 bits a channel), but a
    // frame must be the window's 8-bit one: 10-bit colours read back as 8
    // bits are rounded twice and differ in the last bit.
    EGLConfig candidates[64];
    EGLint found = 0;
    if (!eglChooseConfig(display, wanted, candidates, 64, &found)) found = 0;
    for (EGLint k = 0; k < found && !config; ++k) {
        EGLint red = 0, green = 0, blue = 0;
        eglGetConfigAttrib(display, candidates[k], EGL_RED_SIZE, &red);
        eglGetConfigAttrib(display, candidates[k], EGL_GREEN_SIZE, &green);
        eglGetConfigAttrib(display, candidates[k], EGL_BLUE_SIZE, &blue);
        if (red == 8 && green == 8 && blue == 8) config = candidates[k];
    }
    if (!config) {
        error = "no EGL configuration with 8-bit colours and a 24-bit depth buffer";
        return false;
    }
    if (!eglBindAPI(EGL_OPENGL_API)) {
        error = eglFault("eglBindAPI(EGL_OPENGL_API)");
        return false;
    }
    context = eglCreateContext(display, config, EGL_NO_CONTEXT, nullptr);
    if (context == EGL_NO_CONTEXT) {
        error = eglFault("eglCreateContext");
        return false;
    }
    return makeSurface(width, height, error);
}

void closeContext() {
    if (display == EGL_NO_DISPLAY) return;
    eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (surface != EGL_NO_SURFACE) eglDestroySurface(display, surface);
    if (context != EGL_NO_CONTEXT) eglDestroyContext(display, context);
    eglTerminate(display);
    display = EGL_NO_DISPLAY;
}

void noRedraw() {}
void finishFrame() { glFlush(); }  // reading a frame back waits for it
void resizePbuffer(int width, int height) {
    std::string error;
    if (makeSurface(width, height, error)) return;
    std::fprintf(stderr, "fluid: %s\n", error.c_str());
    std::exit(1);
}
void noTimer(unsigned, int) {}
void exitProgram() { std::exit(0); }  // a session never holds Esc; as the window would

// The offscreen surface's table: frames come from the loop below, not from
// redraw requests or a timer, and the drawing is the window's own.
const Platform headlessPlatform = {noRedraw,     finishFrame, resizePbuffer, drawGlFrame,
                                   fitGlDrawing, noTimer,     exitProgram,   writeStandardOutput};

std::vector<unsigned char> frameRgb;  // the last frame read back, bottom row first

void readFrame() {
    frameRgb.resize(static_cast<std::size_t>(windowWidth) * static_cast<std::size_t>(windowHeight) * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, windowWidth, windowHeight, GL_RGB, GL_UNSIGNED_BYTE, frameRgb.data());
}

bool saveFrame(const std::string& path, std::string& error) {
    readFrame();
    return writePngFile(path, windowWidth, windowHeight, frameRgb.data(), error);
}

std::string framePath(const std::string& dir, long long frame) {
    char name[32];
    std::snprintf(name, sizeof name, "frame-%06lld.png", frame);
    return dir + "/" + name;
}

int fail(const std::string& message, int status = 1) {
    endProgress();
    std::fprintf(stderr, "fluid: %s\n", message.c_str());
    return status;
}

}  // namespace

int runHeadless(const CommandLine& options) {
    const bool video = !options.videoPath.empty();
    std::string error;
    if (video) {
        int status = 1;
        if (!openVideoFile(options.videoPath, error, status)) return fail(error, status);
        std::atexit(discardVideoFile);  // every way out before the end removes the unfinished file
    }
    if (!options.framesDir.empty() && mkdir(options.framesDir.c_str(), 0755) != 0 && errno != EEXIST)
        return fail(options.framesDir + ": cannot make the folder: " + std::strerror(errno));
    if (!openContext(windowWidth, windowHeight, error)) return fail("no offscreen GL context: " + error);
    std::atexit(closeContext);
    platform = headlessPlatform;
    // What the window's opening does: the cell list, then the first reshape.
    buildCellList();
    reshapeWindow(windowWidth, windowHeight);

    // The session's steps, then the further ones, which run even where the
    // session ended paused; without any steps, the picture of the start
    // after the session's events.
    const long long replayedSteps = replayLastStep();
    const long long lastStep = replayedSteps + options.extraSteps;
    if (video && lastStep == 0)
        return fail("--video needs at least one step, and the run has none: add --steps K", 2);
    if (lastStep == 0) runFrame(Stepping::never);
    startProgress(lastStep, (video || !options.framesDir.empty()) && progressWanted(STDERR_FILENO));
    for (long long frame = 1; stepsCompleted < lastStep; ++frame) {
        const Stepping stepping = stepsCompleted >= replayedSteps ? Stepping::always : Stepping::whenAsked;
        if (!runFrame(stepping)) return fail("the replay stopped: the simulation is paused");  // a checked file never is
        if (!options.framesDir.empty() && !saveFrame(framePath(options.framesDir, frame), error)) return fail(error);
        if (video) {
            if (options.framesDir.empty()) readFrame();  // else saveFrame has read it
            if (!addVideoFrame(frameRgb.data(), windowWidth, windowHeight, error)) return fail(error);
        }
        reportProgress(frame);
    }
    endProgress();
    if (video && !closeVideoFile(error)) return fail(error);
    if (!options.pngPath.empty() && !saveFrame(options.pngPath, error)) return fail(error);
    if (std::fflush(stdout) != 0) return fail(std::string("cannot write the field dump: ") + std::strerror(errno));
    return 0;
}
