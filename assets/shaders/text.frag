#version 460 core
// The atlas's red channel is the glyph coverage; it scales the colour's alpha.

in vec2 vTexCoord;
in vec4 vColor;

uniform sampler2D uFontTexture;

out vec4 fragColor;

void main() {
    float coverage = texture(uFontTexture, vTexCoord).r;
    fragColor = vec4(vColor.rgb, vColor.a * coverage);
}
