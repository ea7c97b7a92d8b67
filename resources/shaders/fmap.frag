#version 120
// Per slot (red = mix, green = current layer, blue = clipboard): the level
// after multiplier and gamma, or the bin shift where the level is visible.
// Built with MIXCOLOURS, it also clips them to 1 and mixes them in the slot
// colours, as the colour pass would: map and colour in one pass where no
// relief and no value under the pointer are wanted.
uniform sampler2D tex0;
uniform sampler2D tex1;
uniform sampler2D tex2;
uniform float tex0mult;
uniform float tex1mult;
uniform float tex2mult;
uniform vec4 texpower;
uniform vec4 texphase;
uniform float multiplier;
uniform float invgamma;
uniform float phase;
#ifdef MIXCOLOURS
uniform vec3 colormix;
uniform vec3 colorselect;
uniform vec3 colorclipboard;
#endif

void main()
{
    // The textures hold frequency along their width.
    vec4 s0 = texture2D(tex0, gl_TexCoord[0].ts) * tex0mult;
    vec4 s1 = texture2D(tex1, gl_TexCoord[1].ts) * tex1mult;
    vec4 s2 = texture2D(tex2, gl_TexCoord[2].ts) * tex2mult;
    vec3 level = vec3(dot(s0, texpower), dot(s1, texpower), dot(s2, texpower));
    vec3 shift = vec3(dot(s0, texphase), dot(s1, texphase), dot(s2, texphase));
    level = pow(max(level * multiplier, vec3(0.0)), vec3(invgamma));
    shift = shift * step(vec3(0.04), level);
    vec3 v = mix(level, shift, phase);
#ifdef MIXCOLOURS
    v = clamp(v, 0.0, 1.0);
    gl_FragColor = vec4(colormix * v.r + colorselect * v.g + colorclipboard * v.b, 0.0);
#else
    gl_FragColor = vec4(v, 0.0);
#endif
}
