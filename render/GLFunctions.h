// The process-wide table of OpenGL entry points, resolved once at start-up
// through SDL and used by every GL call of the game (render passes and the GUI's
// frame state save/restore). Call through it as gl.glGenBuffers(...).
// The five texture functions are not in the table: they come straight from the
// system GL library and are declared here.
#pragma once

#include <GL/glcorearb.h>

// type, name, critical (the load fails when a critical one is missing);
// the list order is both the resolution order and the check order.
#define LUMOKA_GL_FUNCTIONS(X)                                             \
    X(PFNGLGENBUFFERSPROC, glGenBuffers, true)                             \
    X(PFNGLDELETEBUFFERSPROC, glDeleteBuffers, true)                       \
    X(PFNGLBINDBUFFERPROC, glBindBuffer, true)                             \
    X(PFNGLBUFFERDATAPROC, glBufferData, true)                             \
    X(PFNGLBUFFERSUBDATAPROC, glBufferSubData, false)                      \
    X(PFNGLBINDBUFFERBASEPROC, glBindBufferBase, false)                    \
    X(PFNGLGENVERTEXARRAYSPROC, glGenVertexArrays, true)                   \
    X(PFNGLDELETEVERTEXARRAYSPROC, glDeleteVertexArrays, true)             \
    X(PFNGLBINDVERTEXARRAYPROC, glBindVertexArray, true)                   \
    X(PFNGLCREATESHADERPROC, glCreateShader, true)                         \
    X(PFNGLDELETESHADERPROC, glDeleteShader, true)                         \
    X(PFNGLSHADERSOURCEPROC, glShaderSource, false)                        \
    X(PFNGLCOMPILESHADERPROC, glCompileShader, false)                      \
    X(PFNGLGETSHADERIVPROC, glGetShaderiv, false)                          \
    X(PFNGLGETSHADERINFOLOGPROC, glGetShaderInfoLog, false)                \
    X(PFNGLCREATEPROGRAMPROC, glCreateProgram, true)                       \
    X(PFNGLDELETEPROGRAMPROC, glDeleteProgram, true)                       \
    X(PFNGLATTACHSHADERPROC, glAttachShader, false)                        \
    X(PFNGLLINKPROGRAMPROC, glLinkProgram, false)                          \
    X(PFNGLGETPROGRAMIVPROC, glGetProgramiv, false)                        \
    X(PFNGLGETPROGRAMINFOLOGPROC, glGetProgramInfoLog, false)              \
    X(PFNGLUSEPROGRAMPROC, glUseProgram, true)                             \
    X(PFNGLDRAWARRAYSPROC, glDrawArrays, true)                             \
    X(PFNGLDRAWARRAYSINSTANCEDPROC, glDrawArraysInstanced, true)           \
    X(PFNGLGETERRORPROC, glGetError, true)                                 \
    X(PFNGLGETSTRINGPROC, glGetString, false)                              \
    X(PFNGLGETINTEGERVPROC, glGetIntegerv, false)                          \
    X(PFNGLCLEARPROC, glClear, true)                                       \
    X(PFNGLCLEARCOLORPROC, glClearColor, false)                            \
    X(PFNGLVIEWPORTPROC, glViewport, true)                                 \
    X(PFNGLGETUNIFORMBLOCKINDEXPROC, glGetUniformBlockIndex, true)         \
    X(PFNGLUNIFORMBLOCKBINDINGPROC, glUniformBlockBinding, true)           \
    X(PFNGLENABLEPROC, glEnable, true)                                     \
    X(PFNGLDISABLEPROC, glDisable, true)                                   \
    X(PFNGLBLENDFUNCPROC, glBlendFunc, true)                               \
    X(PFNGLBLENDEQUATIONPROC, glBlendEquation, true)                       \
    X(PFNGLDEPTHFUNCPROC, glDepthFunc, true)                               \
    X(PFNGLDEPTHMASKPROC, glDepthMask, true)                               \
    X(PFNGLCULLFACEPROC, glCullFace, true)                                 \
    X(PFNGLFRONTFACEPROC, glFrontFace, true)                               \
    X(PFNGLSCISSORPROC, glScissor, true)                                   \
    X(PFNGLACTIVETEXTUREPROC, glActiveTexture, true)                       \
    X(PFNGLBINDTEXTUREPROC, glBindTexture, true)                           \
    X(PFNGLGETBOOLEANVPROC, glGetBooleanv, true)                           \
    X(PFNGLGETFLOATVPROC, glGetFloatv, true)                               \
    X(PFNGLVERTEXATTRIBPOINTERPROC, glVertexAttribPointer, true)           \
    X(PFNGLENABLEVERTEXATTRIBARRAYPROC, glEnableVertexAttribArray, true)   \
    X(PFNGLDISABLEVERTEXATTRIBARRAYPROC, glDisableVertexAttribArray, true) \
    X(PFNGLUNIFORM1FPROC, glUniform1f, true)                               \
    X(PFNGLUNIFORM2FPROC, glUniform2f, true)                               \
    X(PFNGLUNIFORM1UIPROC, glUniform1ui, true)                             \
    X(PFNGLUNIFORM1IPROC, glUniform1i, true)                               \
    X(PFNGLUNIFORM1FVPROC, glUniform1fv, true)                             \
    X(PFNGLUNIFORM2FVPROC, glUniform2fv, true)                             \
    X(PFNGLUNIFORM4FVPROC, glUniform4fv, true)                             \
    X(PFNGLUNIFORM1IVPROC, glUniform1iv, true)                             \
    X(PFNGLUNIFORM3FPROC, glUniform3f, false)                              \
    X(PFNGLUNIFORM4FPROC, glUniform4f, true)                               \
    X(PFNGLUNIFORMMATRIX4FVPROC, glUniformMatrix4fv, false)                \
    X(PFNGLGETUNIFORMLOCATIONPROC, glGetUniformLocation, true)             \
    X(PFNGLCOPYBUFFERSUBDATAPROC, glCopyBufferSubData, true)               \
    X(PFNGLISENABLEDPROC, glIsEnabled, false)

struct GLFunctionTable {
#define LUMOKA_GL_DECLARE(type, name, critical) type name = nullptr;
    LUMOKA_GL_FUNCTIONS(LUMOKA_GL_DECLARE)
#undef LUMOKA_GL_DECLARE
};

extern GLFunctionTable gl;

// Looks one entry point up by name; null when the driver has none.
using GLProc         = void (*)();
using GLProcResolver = GLProc (*)(const char* name);

// Fills `gl` through the given resolver (the plain overload passes SDL's).
bool loadOpenGLFunctions(GLProcResolver resolve);

// Deletes the object when its name is non-zero, then sets the name to 0.
void releaseBuffer(GLuint& name);
void releaseVertexArray(GLuint& name);
void releaseTexture(GLuint& name);
void releaseProgram(GLuint& name);
void releaseShader(GLuint& name);

extern "C" {
void glGenTextures(GLsizei n, GLuint* textures);
void glDeleteTextures(GLsizei n, const GLuint* textures);
void glTexParameteri(GLenum target, GLenum pname, GLint param);
void glTexImage2D(GLenum target, GLint level, GLint internalformat, GLsizei width, GLsizei height, GLint border,
                  GLenum format, GLenum type, const void* pixels);
void glPixelStorei(GLenum pname, GLint param);
}
