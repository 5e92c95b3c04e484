// CellTexturePass.cpp - per-frame data the size of the grid, not the window.
//
// - Quads. Cell (i, j) covers exactly the pixels (x, y) with x / cellSize == j
//   and y / cellSize == i: its edges lie on whole pixels (cellSize is a whole
//   number) and pixel centres on halves, so no rounding of the transformed
//   vertices can move a pixel in or out. Each frame uploads one N x N float
//   texture: the cell colours, and in alpha the depth of the cell's quad
//   slot (the obstacle and the density quad of a cell cover the same pixels
//   and no other drawing's slot lies between theirs, so one depth serves
//   both). Sampled nearest, its texels' edges fall on the cells' edges.
// - Outlines. Which pixels the outlines' lines reach depends only on the
//   window size, so the GL rasterises them once per size into the depth
//   buffer, which is read back once into a float texture. Nothing of window
//   size crosses between host and GL after that.
// The program writes the lower of the two depths and its colour, and
// discards pixels neither covers; the velocity lines are drawn afterwards
// against that depth. Float textures keep colours and depths exact: the
// colour reaches the framebuffer through the same conversion as a vertex
// colour does.
#define GL_GLEXT_PROTOTYPES 1
#include "CellTexturePass.h"

#include "BatchedArrays.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <string>
#include <vector>

#include "CellColours.h"
#include "FieldPicture.h"
#include "FrontEndState.h"
#include "GlDrawing.h"

namespace {

// Texture coordinates: set 0 places the cell texture over the cells' pixels,
// set 1 the outline texture over the window. outlineColour is put in front
// (buildProgram).
const char* const fragmentBody = R"(
uniform sampler2D cellColours;    // colour, and the quad's depth in alpha (1 where none)
uniform sampler2D outlineDepths;  // window-sized, 1 where no outline reaches
uniform bool quadsShown;
uniform bool outlinesShown;

void main() {
    vec2 cell = gl_TexCoord[0].st;
    float depth = 1.0;
    vec3 colour = vec3(0.0);
    if (quadsShown && all(greaterThanEqual(cell, vec2(0.0))) && all(lessThan(cell, vec2(1.0)))) {
        vec4 texel = texture2D(cellColours, cell);
        depth = texel.a;
        colour = texel.rgb;
    }
    if (outlinesShown) {
        float outline = texture2D(outlineDepths, gl_TexCoord[1].st).r;
        if (outline < depth) {
            depth = outline;
            colour = outlineColour;
        }
    }
    if (depth == 1.0) discard;
    gl_FragColor = vec4(colour, 1.0);
    gl_FragDepth = depth;
}
)";

GLuint program = 0, cellTexture = 0, outlineTexture = 0;
GLint quadsLocation = -1, outlinesLocation = -1;
GLint maxTextureSize = 0;
float outlineCellSize = -1.0f;
bool noPrograms = false;  // the GL refused the program once: arrays from then on

GLuint buildProgram() {
    const Colour outline = asFloats(gridColour);
    const std::string text = std::string("#version 130\n") + "const vec3 outlineColour = vec3(" +
                             std::to_string(outline.r) + ", " + std::to_string(outline.g) + ", " +
                             std::to_string(outline.b) + ");\n" + fragmentBody;
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
// (colours masked) and gives the depths to the bound outline texture.
void renderOutlineDepths(const Projection& p, float h) {
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    drawAllOutlines(p, h);
    std::vector<float> depths(static_cast<std::size_t>(windowWidth) * static_cast<std::size_t>(windowHeight));
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, 0, windowWidth, windowHeight, GL_DEPTH_COMPONENT, GL_FLOAT, depths.data());
    glTexImage2D(GL_TEXTURE_2D, 0, GL_R32F, windowWidth, windowHeight, 0, GL_RED, GL_FLOAT, depths.data());
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

// The cell colours with each drawn quad's depth in alpha.
float cellTexels[cellColourCount][4];

void uploadCells(const float (*rgba)[4]) {
    for (int i = 1; i <= N; ++i)
        for (int j = 1; j <= N; ++j) {
            const int k = cellColourIndex(i, j);
            for (int c = 0; c < 3; ++c) cellTexels[k][c] = rgba[k][c];
            cellTexels[k][3] = rgba[k][3] > 0.0f ? slotDepth(i, j, densityDrawing) : 1.0f;
        }
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, N, N, GL_RGBA, GL_FLOAT, cellTexels);
}

// The whole window under identity matrices. Cell texture coordinates are 0
// at the lower left corner of cell (1, 1) and 1 an N cells' width (and
// height) further on, so that the texel of cell (i, j) covers the pixels
// x / cellSize == j, y / cellSize == i: pixel centres fall at least half a
// pixel inside a texel, far beyond any rounding.
void drawWindowRect() {
    const float extent = static_cast<float>(N) * cellSize;
    const float s0 = -cellSize / extent, s1 = (static_cast<float>(windowWidth) - cellSize) / extent;
    const float t0 = -cellSize / extent, t1 = (static_cast<float>(windowHeight) - cellSize) / extent;
    glBegin(GL_QUADS);
    glMultiTexCoord2f(GL_TEXTURE0, s0, t0);
    glMultiTexCoord2f(GL_TEXTURE1, 0.0f, 0.0f);
    glVertex3f(-1.0f, -1.0f, 0.0f);
    glMultiTexCoord2f(GL_TEXTURE0, s1, t0);
    glMultiTexCoord2f(GL_TEXTURE1, 1.0f, 0.0f);
    glVertex3f(1.0f, -1.0f, 0.0f);
    glMultiTexCoord2f(GL_TEXTURE0, s1, t1);
    glMultiTexCoord2f(GL_TEXTURE1, 1.0f, 1.0f);
    glVertex3f(1.0f, 1.0f, 0.0f);
    glMultiTexCoord2f(GL_TEXTURE0, s0, t1);
    glMultiTexCoord2f(GL_TEXTURE1, 0.0f, 1.0f);
    glVertex3f(-1.0f, 1.0f, 0.0f);
    glEnd();
}

}  // namespace

void forgetWindowSizedImages() { outlineCellSize = -1.0f; }

bool drawCellTexturePass(const float (*rgba)[4], bool quads, bool outlines, const Projection& p, float h) {
    if (windowWidth <= 0 || windowHeight <= 0 || !haveObjects()) return false;
    quads = quads && cellSize > 0;  // cells of no size draw nothing
    if (!quads && !outlines) return true;
    if (outlines && (windowWidth > maxTextureSize || windowHeight > maxTextureSize)) return false;

    glActiveTexture(GL_TEXTURE1);
    if (outlines) bindOutlineDepths(p, h);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, cellTexture);
    if (quads) uploadCells(rgba);

    glUseProgram(program);
    glUniform1i(quadsLocation, quads);
    glUniform1i(outlinesLocation, outlines);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_ALWAYS);
    drawWindowRect();
    glUseProgram(0);

    glBindTexture(GL_TEXTURE_2D, 0);
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, 0);
    glActiveTexture(GL_TEXTURE0);
    return true;
}
