#version 120
// One step of the relief: the map clipped to the step's top, where it reaches
// the step's bottom (p = bottom, q = top); the maximum blend stacks the steps.
uniform sampler2D maptex;

void main()
{
    vec3 map = texture2D(maptex, gl_TexCoord[0].st).rgb;
    vec3 v = min(map, vec3(gl_TexCoord[0].q)) * step(vec3(gl_TexCoord[0].p), map);
    gl_FragColor = vec4(v, 0.0);
}
