// CellTexturePass.cpp - per-frame data the size of the grid, not the window.
//
// - Quads. Cell (i, j) covers exactly the pixels (x, y) with x / cellSize == j
//   and y / cellSize == i: its edges lie on whole pixels (cellSize is a whole
//   number) and pixel centres on halves, so no rounding of the transformed
//   vertices can move a pixel in or out. Each frame uploads one N x N texture
//   of cell colours; the program finds a pixel's cell with integer
//   arithmetic, fetches its colour and works out the depth of the cell's
//   slot. (The obstacle and the density quad of a cell cover the same pixels
//   and no other drawing's slot lies between theirs, so one depth serves
//   both.)
// - Outlines. Which pixels the outlines' lines reach depends only on the
//   window size, so the GL rasterises them once per size into the depth
//   buffer, which is copied into a depth texture. Nothing of window size
//   crosses between host and GL after that.
// The program writes the lower of the two depths and its colour, and
// discards pixels neither covers; the velocity lines are drawn afterwards
// against that depth.
#define GL_GLEXT_PROTOTYPES 1
#include "CellTexturePass.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <string>

#include "FieldPicture.h"

namespace {

const char* const fragmentBody = R"(
uniform sampler2D cellColours;    // N x N, alpha 1 where a cell draws a quad
uniform sampler2D outlineDepths;  // window-sized, 1 where no outline reaches
uniform int cellSize;
uniform bool quadsShown;
uniform bool outlinesShown;
const int slotCount = 4 * n * n;

void main() {
    ivec2 pixel = ivec2(gl_FragCoord.xy);
    float depth = 1.0;
    vec3 colour = vec3(0.0);
    if (quadsShown && cellSize > 0) {
        // The float quotient is at most one off; the remainder corrects it.
        ivec2 cell = ivec2(floor(gl_FragCoord.xy / float(cellSize)));
        ivec2 rest = pixel - cell * cellSize;
        cell += ivec2(greaterThanEqual(rest, ivec2(cellSize))) - ivec2(lessThan(rest, ivec2(0)));
        if (all(greaterThanEqual(cell, ivec2(1))) && all(lessThanEqual(cell, ivec2(n)))) {
            vec4 texel = texelFetch(cellColours, cell - 1, 0);
            if (texel.a > 0.0) {
                int slot = 4 * ((n - cell.y) * n + (cell.x - 1)) + 1;
                depth = float(slotCount - slot) / float(slotCount + 1);
                colour = texel.rgb;
            }
        }
    }
    if (outlinesShown) {
        float outline = texelFetch(outlineDepths, pixel, 0).r;
        if (outline < depth) {
            depth = outline;
            colour = vec3(0.0, 1.0, 0.0);
        }
    }
    if (depth == 1.0) discard;
    gl_FragColor = vec4(colour, 1.0);
    gl_FragDepth = depth;
}
)";

GLuint program = 0, cellTexture = 0, outlineTexture = 0;
GLint cellSizeLocation = -1, quadsLocation = -1, outlinesLocation = -1;
GLint maxTextureSize = 0;
float outlineCellSize = -1.0f;
bool noPrograms = false;  // the GL refused the program once: arrays from then on

GLuint buildProgram() {
    const std::string text = "#version 130\nconst int n = " + std::to_string(N) + ";\n" + fragmentBody;
    const GLuint shader = glCreateShader(GL_FRAGMENT_SHADER);
    if (shader == 0) return 0;
    const char* source = text.c_str();
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint ok = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    GLuint linked = 0;
    if (ok == GL_TRUE) {
        linked = glCreateProgram();
        glAttachShader(linked, shader);
        glLinkProgram(linked);
        glGetProgramiv(linked, GL_LINK_STATUS, &ok);
        if (ok != GL_TRUE) {
            glDeleteProgram(linked);
            linked = 0;
        }
    }
    glDeleteShader(shader);  // goes with the program
    return linked;
}

GLuint nearestTexture() {
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    return texture;
}

// The program and textures live in the GL context: a context that has never
// seen them (a new window) makes its own.
bool haveObjects() {
    if (noPrograms) return false;
    if (program && glIsProgram(program) && glIsTexture(cellTexture) && glIsTexture(outlineTexture)) return true;
    program = buildProgram();
    if (!program) {
        noPrograms = true;
        return false;
    }
    glUseProgram(program);
    glUniform1i(glGetUniformLocation(program, "cellColours"), 0);
    glUniform1i(glGetUniformLocation(program, "outlineDepths"), 1);
    cellSizeLocation = glGetUniformLocation(program, "cellSize");
    quadsLocation = glGetUniformLocation(program, "quadsShown");
    outlinesLocation = glGetUniformLocation(program, "outlinesShown");
    glUseProgram(0);
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTextureSize);

    cellTexture = nearestTexture();
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, N, N, 0, GL_RGBA, GL_FLOAT, nullptr);
    outlineTexture = nearestTexture();
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_COMPARE_MODE, GL_NONE);
    glBindTexture(GL_TEXTURE_2D, 0);
    outlineCellSize = -1.0f;
    return true;
}

// Rasterises every outline at its slot's depth into the cleared depth buffer
// (colours masked) and copies the depths into the bound outline texture.
void renderOutlineDepths(const Projection& p, float h) {
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    drawAllOutlines(p, h);
    glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT24, 0, 0, windowWidth, windowHeight, 0);
    glClear(GL_DEPTH_BUFFER_BIT);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    outlineCellSize = cellSize;
}

// Binds the outline texture, rendering it first where it was made for
// another window size (asked of the texture itself, which belongs to the
// current context).
void bindOutlineDepths(const Projection& p, float h) {
    glBindTexture(GL_TEXTURE_2D, outlineTexture);
    GLint width = 0, height = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
    if (width != windowWidth || height != windowHeight || outlineCellSize != cellSize) renderOutlineDepths(p, h);
}

}  // namespace

void forgetWindowSizedImages() { outlineCellSize = -1.0f; }

bool drawCellTexturePass(const float (*rgba)[4], bool quads, bool outlines, const Projection& p, float h) {
    if (windowWidth <= 0 || windowHeight <= 0 || !haveObjects()) return false;
    if (outlines && (windowWidth > maxTextureSize || windowHeight > maxTextureSize)) return false;

    glActiveTexture(GL_TEXTURE1);
    if (outlines) bindOutlineDepths(p, h);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, cellTexture);
    if (quads) glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, N, N, GL_RGBA, GL_FLOAT, rgba);

    glUseProgram(program);
    glUniform1i(cellSizeLocation, static_cast<GLint>(cellSize));
    glUniform1i(quadsLocation, quads);
    glUniform1i(outlinesLocation, outlines);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_ALWAYS);
    glRectf(-1.0f, -1.0f, 1.0f, 1.0f);  // the whole window under identity matrices
    glUseProgram(0);

    glBindTexture(GL_TEXTURE_2D, 0);
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, 0);
    glActiveTexture(GL_TEXTURE0);
    return true;
}
