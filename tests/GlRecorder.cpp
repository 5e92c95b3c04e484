// GlRecorder.cpp - definitions of the GL and GLUT entry points the front end
// uses, each appending itself to a call log.
#include "GlRecorder.h"

#include <cstring>
#include <map>
#include <utility>

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glut.h>

namespace glrecorder {

std::vector<Call> calls;
int redisplayRequests = 0;
int swapCount = 0;
unsigned nextList = 1;
unsigned nextTexture = 1, firstTexture = 1;
unsigned nextProgramObject = 1, firstProgramObject = 1;
int nextUniform = 0;
unsigned activeUnit = 0;
unsigned boundTexture[8] = {};
std::map<unsigned, std::pair<int, int>> textureSize;
int maxTextureSize = 4096;

std::string windowTitle;
GlutCallbacks callbacks;

void reset() {
    calls.clear();
    redisplayRequests = 0;
    swapCount = 0;
}

void newContext() {
    firstTexture = nextTexture;
    firstProgramObject = nextProgramObject;
    textureSize.clear();
}

std::vector<Call> named(const std::string& name) {
    std::vector<Call> out;
    for (const Call& c : calls)
        if (c.name == name) out.push_back(c);
    return out;
}

void record(const char* name, std::vector<double> args = {}) { calls.push_back(Call{name, std::move(args)}); }

}  // namespace glrecorder

using glrecorder::record;

extern "C" {

GLuint glGenLists(GLsizei range) {
    record("glGenLists", {double(range)});
    const GLuint first = glrecorder::nextList;
    glrecorder::nextList += static_cast<GLuint>(range);
    return first;
}
void glDeleteLists(GLuint list, GLsizei range) { record("glDeleteLists", {double(list), double(range)}); }
void glNewList(GLuint list, GLenum mode) { record("glNewList", {double(list), double(mode)}); }
void glEndList(void) { record("glEndList"); }
void glCallList(GLuint list) { record("glCallList", {double(list)}); }
void glBegin(GLenum mode) { record("glBegin", {double(mode)}); }
void glEnd(void) { record("glEnd"); }
void glVertex3f(GLfloat x, GLfloat y, GLfloat z) { record("glVertex3f", {x, y, z}); }
void glColor3ub(GLubyte r, GLubyte g, GLubyte b) { record("glColor3ub", {double(r), double(g), double(b)}); }
void glColor3f(GLfloat r, GLfloat g, GLfloat b) { record("glColor3f", {r, g, b}); }
void glClearColor(GLclampf r, GLclampf g, GLclampf b, GLclampf a) { record("glClearColor", {r, g, b, a}); }
void glClear(GLbitfield mask) { record("glClear", {double(mask)}); }
void glPushMatrix(void) { record("glPushMatrix"); }
void glPopMatrix(void) { record("glPopMatrix"); }
void glTranslatef(GLfloat x, GLfloat y, GLfloat z) { record("glTranslatef", {x, y, z}); }
void glPushAttrib(GLbitfield mask) { record("glPushAttrib", {double(mask)}); }
void glPopAttrib(void) { record("glPopAttrib"); }
void glPolygonMode(GLenum face, GLenum mode) { record("glPolygonMode", {double(face), double(mode)}); }
void glViewport(GLint x, GLint y, GLsizei w, GLsizei h) { record("glViewport", {double(x), double(y), double(w), double(h)}); }
void glMatrixMode(GLenum mode) { record("glMatrixMode", {double(mode)}); }
void glLoadIdentity(void) { record("glLoadIdentity"); }
void glOrtho(GLdouble l, GLdouble r, GLdouble b, GLdouble t, GLdouble n, GLdouble f) { record("glOrtho", {l, r, b, t, n, f}); }

void glEnable(GLenum cap) { record("glEnable", {double(cap)}); }
void glDepthFunc(GLenum func) { record("glDepthFunc", {double(func)}); }
void glDepthMask(GLboolean flag) { record("glDepthMask", {double(flag)}); }
void glPushClientAttrib(GLbitfield mask) { record("glPushClientAttrib", {double(mask)}); }
void glPopClientAttrib(void) { record("glPopClientAttrib"); }
void glEnableClientState(GLenum array) { record("glEnableClientState", {double(array)}); }
void glVertexPointer(GLint size, GLenum type, GLsizei stride, const GLvoid*) {
    record("glVertexPointer", {double(size), double(type), double(stride)});
}
void glColorPointer(GLint size, GLenum type, GLsizei stride, const GLvoid*) {
    record("glColorPointer", {double(size), double(type), double(stride)});
}
void glDrawArrays(GLenum mode, GLint first, GLsizei count) {
    record("glDrawArrays", {double(mode), double(first), double(count)});
}

void glDisable(GLenum cap) { record("glDisable", {double(cap)}); }
void glDisableClientState(GLenum array) { record("glDisableClientState", {double(array)}); }
void glColorMask(GLboolean r, GLboolean g, GLboolean b, GLboolean a) {
    record("glColorMask", {double(r), double(g), double(b), double(a)});
}
void glPixelStorei(GLenum name, GLint value) { record("glPixelStorei", {double(name), double(value)}); }
void glWindowPos2i(GLint x, GLint y) { record("glWindowPos2i", {double(x), double(y)}); }
// Reads back an empty picture: every format the front end reads has 4 bytes a pixel.
void glReadPixels(GLint x, GLint y, GLsizei w, GLsizei h, GLenum format, GLenum type, GLvoid* data) {
    record("glReadPixels", {double(x), double(y), double(w), double(h), double(format), double(type)});
    if (w > 0 && h > 0) std::memset(data, 0, static_cast<size_t>(w) * static_cast<size_t>(h) * 4);
}
void glDrawPixels(GLsizei w, GLsizei h, GLenum format, GLenum type, const GLvoid*) {
    record("glDrawPixels", {double(w), double(h), double(format), double(type)});
}

// Textures and programs: names are handed out in order and stay valid; each
// texture remembers the size last given to it, as the GL reports it back.
void glGenTextures(GLsizei n, GLuint* names) {
    record("glGenTextures", {double(n)});
    for (GLsizei k = 0; k < n; ++k) names[k] = glrecorder::nextTexture++;
}
GLboolean glIsTexture(GLuint name) { return name >= glrecorder::firstTexture && name < glrecorder::nextTexture ? GL_TRUE : GL_FALSE; }
void glActiveTexture(GLenum unit) {
    record("glActiveTexture", {double(unit)});
    glrecorder::activeUnit = unit - GL_TEXTURE0;
}
void glBindTexture(GLenum target, GLuint name) {
    record("glBindTexture", {double(target), double(name)});
    glrecorder::boundTexture[glrecorder::activeUnit % 8] = name;
}
void glTexParameteri(GLenum target, GLenum name, GLint value) {
    record("glTexParameteri", {double(target), double(name), double(value)});
}
void glTexImage2D(GLenum target, GLint level, GLint internal, GLsizei w, GLsizei h, GLint border, GLenum format,
                  GLenum type, const GLvoid*) {
    record("glTexImage2D", {double(target), double(level), double(internal), double(w), double(h), double(border),
                            double(format), double(type)});
    glrecorder::textureSize[glrecorder::boundTexture[glrecorder::activeUnit % 8]] = {w, h};
}
void glTexSubImage2D(GLenum target, GLint level, GLint x, GLint y, GLsizei w, GLsizei h, GLenum format, GLenum type,
                     const GLvoid*) {
    record("glTexSubImage2D",
           {double(target), double(level), double(x), double(y), double(w), double(h), double(format), double(type)});
}
void glGetTexLevelParameteriv(GLenum, GLint, GLenum name, GLint* value) {
    const auto& size = glrecorder::textureSize[glrecorder::boundTexture[glrecorder::activeUnit % 8]];
    *value = name == GL_TEXTURE_WIDTH ? size.first : name == GL_TEXTURE_HEIGHT ? size.second : 0;
}
void glGetIntegerv(GLenum name, GLint* value) { *value = name == GL_MAX_TEXTURE_SIZE ? glrecorder::maxTextureSize : 0; }
GLuint glCreateShader(GLenum type) {
    record("glCreateShader", {double(type)});
    return glrecorder::nextProgramObject++;
}
void glShaderSource(GLuint, GLsizei, const GLchar* const*, const GLint*) { record("glShaderSource"); }
void glCompileShader(GLuint) { record("glCompileShader"); }
void glGetShaderiv(GLuint, GLenum, GLint* value) { *value = GL_TRUE; }
void glDeleteShader(GLuint) { record("glDeleteShader"); }
GLuint glCreateProgram(void) {
    record("glCreateProgram");
    return glrecorder::nextProgramObject++;
}
GLboolean glIsProgram(GLuint name) { return name >= glrecorder::firstProgramObject && name < glrecorder::nextProgramObject ? GL_TRUE : GL_FALSE; }
void glAttachShader(GLuint, GLuint) { record("glAttachShader"); }
void glLinkProgram(GLuint) { record("glLinkProgram"); }
void glGetProgramiv(GLuint, GLenum, GLint* value) { *value = GL_TRUE; }
void glDeleteProgram(GLuint) { record("glDeleteProgram"); }
void glUseProgram(GLuint name) { record("glUseProgram", {double(name)}); }
GLint glGetUniformLocation(GLuint, const GLchar*) { return glrecorder::nextUniform++; }
void glUniform1i(GLint location, GLint value) { record("glUniform1i", {double(location), double(value)}); }
void glMultiTexCoord2f(GLenum unit, GLfloat s, GLfloat t) { record("glMultiTexCoord2f", {double(unit), s, t}); }

void glutPostRedisplay(void) {
    ++glrecorder::redisplayRequests;
    record("glutPostRedisplay");
}
void glutSwapBuffers(void) {
    ++glrecorder::swapCount;
    record("glutSwapBuffers");
}
void glutReshapeWindow(int width, int height) { record("glutReshapeWindow", {double(width), double(height)}); }
void glutTimerFunc(unsigned int time, void (*)(int), int value) { record("glutTimerFunc", {double(time), double(value)}); }
void glutInit(int*, char**) { record("glutInit"); }
void glutInitDisplayMode(unsigned int mode) { record("glutInitDisplayMode", {double(mode)}); }
void glutInitWindowSize(int width, int height) { record("glutInitWindowSize", {double(width), double(height)}); }
int glutCreateWindow(const char* title) {
    glrecorder::windowTitle = title;
    record("glutCreateWindow");
    return 1;
}
void glutDisplayFunc(void (*callback)(void)) { glrecorder::callbacks.display = callback; }
void glutReshapeFunc(void (*callback)(int, int)) { glrecorder::callbacks.reshape = callback; }
void glutIdleFunc(void (*callback)(void)) { glrecorder::callbacks.idle = callback; }
void glutKeyboardFunc(void (*callback)(unsigned char, int, int)) { glrecorder::callbacks.keyboard = callback; }
void glutMouseFunc(void (*callback)(int, int, int, int)) { glrecorder::callbacks.mouse = callback; }
void glutMotionFunc(void (*callback)(int, int)) { glrecorder::callbacks.motion = callback; }

}  // extern "C"
