#version 120
// The three slot levels mixed in their colours.
uniform sampler2D tex;
uniform vec3 colormix;
uniform vec3 colorselect;
uniform vec3 colorclipboard;

void main()
{
    vec3 m = texture2D(tex, gl_TexCoord[0].st).rgb;
    gl_FragColor = vec4(colormix * m.r + colorselect * m.g + colorclipboard * m.b, 0.0);
}
