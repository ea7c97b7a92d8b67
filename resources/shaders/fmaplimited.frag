#version 120
// Limited tier: 16 x magnitude in the alpha of each slot texture, levelled and
// mixed in the slot colours in one pass.
uniform sampler2D tex0;
uniform sampler2D tex1;
uniform sampler2D tex2;
uniform float tex0mult;
uniform float tex1mult;
uniform float tex2mult;
uniform float multiplier16;
uniform float invgamma;
uniform vec3 colormix;
uniform vec3 colorselect;
uniform vec3 colorclipboard;

void main()
{
    vec3 level = vec3(texture2D(tex0, gl_TexCoord[0].ts).a * tex0mult,
                      texture2D(tex1, gl_TexCoord[1].ts).a * tex1mult,
                      texture2D(tex2, gl_TexCoord[2].ts).a * tex2mult);
    vec3 c = pow(max(level * multiplier16, vec3(0.0)), vec3(invgamma));
    gl_FragColor = vec4(c.r * colormix + c.g * colorselect + c.b * colorclipboard, 0.0);
}
