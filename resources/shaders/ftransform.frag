#version 120
// Raw complex values to magnitude and bin shift. The bin shift is the offset
// of the parabola through the magnitudes of this bin and its two neighbours,
// moved to [0, 1] (0.5 = peak centred on the bin, 0 = none measured).
uniform sampler2D datatex;
uniform vec4 texcpx1;
uniform vec4 texcpx2;
uniform float fftvelocitymult;

float magnitude(vec4 v)
{
    return length(vec2(dot(v, texcpx1), dot(v, texcpx2)));
}

void main()
{
    vec2 st = gl_TexCoord[0].st;
    vec2 step = vec2(dFdx(st.s), 0.0);
    float powerbot = magnitude(texture2D(datatex, st - step));
    float power = magnitude(texture2D(datatex, st));
    float powertop = magnitude(texture2D(datatex, st + step));
    float a = (powerbot + powertop - 2.0 * power) * 0.5;
    float b = a + power - powerbot;
    float binshift = 0.0;
    // A flat or silent neighbourhood has no parabola to speak of.
    if (abs(a) > 1e-6 * power)
        binshift = clamp(-b / (2.0 * a) + 0.5, 0.0, 1.0);
    if (powerbot * 0.9 > power || powertop * 0.9 > power || fftvelocitymult < 2.0)
        binshift = 0.0;
    gl_FragColor = power * texcpx1 + binshift * texcpx2;
}
