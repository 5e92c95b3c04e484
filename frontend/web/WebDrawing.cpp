// WebDrawing.cpp - the fields drawn with WebGL 2 (OpenGL ES 3.0).
//
// The same picture as the desktop's batched drawing, from the same numbers:
// - cell quads: the N x N texture of cell colours (fillCellColours) drawn
//   with nearest filtering as one quad over all cells, cellSize pixels a
//   texel from the desktop's origin (WebGeometry.h); each cell's pixels take
//   its quad's depth from the texture's alpha, and cells that draw no quad
//   are discarded (one quad instead of N x N keeps the vertex work of the
//   software rasteriser small);
// - grid outlines and velocity lines as line arrays.
// Every drawing has the depth of its place in the per-cell order, so with
// the depth test the latest drawing at a pixel wins, as on the desktop.
// Line pixels may differ from the desktop's: the browser rasterises lines
// its own way, and outlines are lines here, not polygon edges.
#include "WebDrawing.h"

#include <GLES3/gl3.h>

#include <cstdio>

#include "CellColours.h"
#include "CellGeometry.h"
#include "FieldPicture.h"
#include "FrontEndState.h"
#include "WebGeometry.h"

namespace {

const char* const cellVertexShader = R"(#version 300 es
layout(location = 0) in vec3 position;
layout(location = 1) in vec2 texel;
out vec2 cellTexel;
void main() {
    cellTexel = texel;
    gl_Position = vec4(position, 1.0);
}
)";

const char* const cellFragmentShader = R"(#version 300 es
precision highp float;
uniform highp sampler2D cellColours;  // alpha: the quad's depth, -1 where a cell draws none
in vec2 cellTexel;
out vec4 colour;
void main() {
    vec4 c = texture(cellColours, cellTexel);
    if (c.a < 0.0) discard;
    gl_FragDepth = c.a;
    colour = vec4(c.rgb, 1.0);
}
)";

const char* const lineVertexShader = R"(#version 300 es
layout(location = 0) in vec3 position;
void main() { gl_Position = vec4(position, 1.0); }
)";

const char* const lineFragmentShader = R"(#version 300 es
precision highp float;
uniform vec3 lineColour;
out vec4 colour;
void main() { colour = vec4(lineColour, 1.0); }
)";

float cellRgba[cellColourCount][4];
float quadPosition[gridQuadVertexCount][3];
float quadTexel[gridQuadVertexCount][2];
float outlinePosition[outlineVertexCount][3];
Vertex lineVertices[velocityLineVertexCount];

GLuint cellProgram = 0, lineProgram = 0, cellTexture = 0;
GLint lineColourLocation = -1;
GLuint quadArray = 0, outlineArray = 0, lineArray = 0;
GLuint quadPositionBuffer = 0, quadTexelBuffer = 0, outlineBuffer = 0, lineBuffer = 0;

GLuint compile(GLenum type, const char* source) {
    const GLuint shader = glCreateShader(type);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint ok = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (ok != GL_TRUE) {
        char log[1024] = "";
        glGetShaderInfoLog(shader, sizeof log, nullptr, log);
        std::fprintf(stderr, "fluid: a shader does not compile: %s\n", log);
    }
    return shader;
}

GLuint link(const char* vertexSource, const char* fragmentSource) {
    const GLuint program = glCreateProgram();
    const GLuint vertex = compile(GL_VERTEX_SHADER, vertexSource);
    const GLuint fragment = compile(GL_FRAGMENT_SHADER, fragmentSource);
    glAttachShader(program, vertex);
    glAttachShader(program, fragment);
    glLinkProgram(program);
    glDeleteShader(vertex);  // they go with the program
    glDeleteShader(fragment);
    GLint ok = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &ok);
    if (ok == GL_TRUE) return program;
    char log[1024] = "";
    glGetProgramInfoLog(program, sizeof log, nullptr, log);
    std::fprintf(stderr, "fluid: a program does not link: %s\n", log);
    glDeleteProgram(program);
    return 0;
}

// A vertex array reading attribute `location` from a new buffer of `bytes`.
GLuint attributeBuffer(GLuint location, int components, GLsizeiptr bytes, GLenum usage) {
    GLuint buffer = 0;
    glGenBuffers(1, &buffer);
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glBufferData(GL_ARRAY_BUFFER, bytes, nullptr, usage);
    glEnableVertexAttribArray(location);
    glVertexAttribPointer(location, components, GL_FLOAT, GL_FALSE, 0, nullptr);
    return buffer;
}

GLuint newVertexArray() {
    GLuint array = 0;
    glGenVertexArrays(1, &array);
    glBindVertexArray(array);
    return array;
}

void upload(GLuint buffer, const void* data, GLsizeiptr bytes) {
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glBufferSubData(GL_ARRAY_BUFFER, 0, bytes, data);
}

void drawLines(GLuint array, int count, ColourBytes colour) {
    const Colour c = asFloats(colour);
    glUseProgram(lineProgram);
    glUniform3f(lineColourLocation, c.r, c.g, c.b);
    glBindVertexArray(array);
    glDrawArrays(GL_LINES, 0, count);
}

}  // namespace

bool initWebDrawing() {
    cellProgram = link(cellVertexShader, cellFragmentShader);
    lineProgram = link(lineVertexShader, lineFragmentShader);
    if (!cellProgram || !lineProgram) return false;
    glUseProgram(cellProgram);
    glUniform1i(glGetUniformLocation(cellProgram, "cellColours"), 0);
    lineColourLocation = glGetUniformLocation(lineProgram, "lineColour");

    glGenTextures(1, &cellTexture);
    glBindTexture(GL_TEXTURE_2D, cellTexture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, N, N, 0, GL_RGBA, GL_FLOAT, nullptr);

    quadArray = newVertexArray();
    quadPositionBuffer = attributeBuffer(0, 3, sizeof quadPosition, GL_STATIC_DRAW);
    quadTexelBuffer = attributeBuffer(1, 2, sizeof quadTexel, GL_STATIC_DRAW);
    outlineArray = newVertexArray();
    outlineBuffer = attributeBuffer(0, 3, sizeof outlinePosition, GL_STATIC_DRAW);
    lineArray = newVertexArray();
    lineBuffer = attributeBuffer(0, 3, sizeof lineVertices, GL_DYNAMIC_DRAW);
    glBindVertexArray(0);

    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClearDepthf(1.0f);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    return true;
}

void drawWebFrame() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (showBoundary || showDensity) {
        fillCellColours(cellRgba);
        putQuadDepths(cellRgba);
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, cellTexture);
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, N, N, GL_RGBA, GL_FLOAT, cellRgba);
        glUseProgram(cellProgram);
        glBindVertexArray(quadArray);
        glDrawArrays(GL_TRIANGLES, 0, gridQuadVertexCount);
    }
    if (showVelocity) {
        putVelocityLines(lineVertices);
        upload(lineBuffer, lineVertices, sizeof lineVertices);
        drawLines(lineArray, velocityLineVertexCount, velocityColour);
    }
    if (showGrid) drawLines(outlineArray, outlineVertexCount, gridColour);
    glBindVertexArray(0);
}

// The arrays that depend on the window size are made again for the new size.
void fitWebDrawing(int width, int height) {
    glViewport(0, 0, width, height);
    fillGridQuad(quadPosition, quadTexel);
    upload(quadPositionBuffer, quadPosition, sizeof quadPosition);
    upload(quadTexelBuffer, quadTexel, sizeof quadTexel);
    fillOutlines(outlinePosition);
    upload(outlineBuffer, outlinePosition, sizeof outlinePosition);
}
