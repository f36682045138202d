#version 460 core
// The circle pass: one triangle that covers the viewport, drawn without vertex
// data; the fragment stage works in window coordinates.

void main() {
    vec2 corner = vec2(float((gl_VertexID << 1) & 2), float(gl_VertexID & 2));
    gl_Position = vec4(corner * 2.0 - 1.0, 0.0, 1.0);
}
