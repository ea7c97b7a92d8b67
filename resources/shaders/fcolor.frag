#version 120
// The three slot levels mixed in their colours; levels read from the map
// itself (a relief of one copy) are clipped to 1 as the relief clips them.
uniform sampler2D tex;
uniform vec3 colormix;
uniform vec3 colorselect;
uniform vec3 colorclipboard;

void main()
{
    vec3 m = clamp(texture2D(tex, gl_TexCoord[0].st).rgb, 0.0, 1.0);
    gl_FragColor = vec4(colormix * m.r + colorselect * m.g + colorclipboard * m.b, 0.0);
}
