#version 460 core
// One triangle that covers the viewport, drawn without vertex data.
// Every background fragment shader (the default one and each level's) is linked
// against this stage, so vUV is their input: 0..1 across the screen, origin at
// the bottom-left corner.

out vec2 vUV;

void main() {
    // Vertex 0, 1, 2 -> (0, 0), (2, 0), (0, 2): the on-screen part is 0..1.
    vec2 corner = vec2(float((gl_VertexID << 1) & 2), float(gl_VertexID & 2));
    vUV = corner;
    gl_Position = vec4(corner * 2.0 - 1.0, 0.0, 1.0);
}
