// One real window and GL context for the whole GL test executable, made by the
// game's own RenderState::init from the assets folder, and the few GL entry
// points the tests need beyond the game's table (read-backs and introspection).
#pragma once

#include "render/GLFunctions.h"
#include "support/TestSupport.h"

#include <filesystem>
#include <string>
#include <vector>

struct RenderState;

namespace rendertest {

// The shared, fully initialised render state; its context is made current.
RenderState& sharedRender();

// The shared state with every bit of GL state the tests touch reset.
void makeSharedCurrent();

struct GLProbe {
    PFNGLGETBUFFERSUBDATAPROC        glGetBufferSubData        = nullptr;
    PFNGLGETBUFFERPARAMETERIVPROC    glGetBufferParameteriv    = nullptr;
    PFNGLREADPIXELSPROC              glReadPixels              = nullptr;
    PFNGLFINISHPROC                  glFinish                  = nullptr;
    PFNGLGETACTIVEUNIFORMBLOCKIVPROC glGetActiveUniformBlockiv = nullptr;
    PFNGLGETUNIFORMINDICESPROC       glGetUniformIndices       = nullptr;
    PFNGLGETACTIVEUNIFORMSIVPROC     glGetActiveUniformsiv     = nullptr;
    PFNGLGETACTIVEUNIFORMPROC        glGetActiveUniform        = nullptr;
    PFNGLISPROGRAMPROC               glIsProgram               = nullptr;
    PFNGLISBUFFERPROC                glIsBuffer                = nullptr;
};
const GLProbe& probe();

// RGBA8 pixels of the back buffer, bottom row first.
struct Pixels {
    int                        width  = 0;
    int                        height = 0;
    std::vector<unsigned char> rgba;
    const unsigned char*       at(int x, int y) const { return &rgba[(y * width + x) * 4]; }
};
Pixels readBackBuffer(int width, int height);

using testsupport::WorkingDirectory;

}  // namespace rendertest
