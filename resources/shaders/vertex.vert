#version 120
// Fixed-function transform; texture coordinates of units 0 to 2 pass through.
void main()
{
    gl_TexCoord[0] = gl_MultiTexCoord0;
    gl_TexCoord[1] = gl_MultiTexCoord1;
    gl_TexCoord[2] = gl_MultiTexCoord2;
    gl_Position = ftransform();
}
