// A level's background shader runs on the GPU inside the frame loop, where a
// loop that never ends would freeze the game for good: no GL call can stop it.
// So before a package's shader is first used it is compiled, linked and drawn
// once, small, by a separate program (lumoka-shader-check, beside the running
// one) that is killed when it takes too long. A shader that passed is marked
// with a file beside it holding a hash of its text; a changed shader is checked
// again, and so is one whose check could not run.
#pragma once

#include <functional>
#include <string>

// The game's background vertex stage, relative to its working folder.
inline constexpr char kBackgroundVertexShader[] = "shaders/fullscreen.vert";

// Unchecked: the check itself could not run (no checker, no GL context) or was
// stopped, which proves nothing against the shader.
enum class ShaderVerdict { Passed, Refused, Unchecked };

// Polled while the checker runs; true kills it (an import being cancelled).
using StopShaderCheck = std::function<bool()>;

// Runs the checker on the fragment shader with the given vertex stage; why
// says what went wrong when it fails, runs out of time or cannot run.
ShaderVerdict checkShaderInChildProcess(const std::string& vertexPath, const std::string& fragmentPath,
                                        std::string& why, const StopShaderCheck& stop = {});

// Passed when the package's background.frag passed, now or before (then it is
// marked); otherwise one line saying why it is not used or not checked.
ShaderVerdict checkPackageShader(const std::string& packageFolder, const std::string& vertexPath,
                                 const StopShaderCheck& stop = {});
bool          packageShaderPasses(const std::string& packageFolder, const std::string& vertexPath);
