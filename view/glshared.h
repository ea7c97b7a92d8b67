#pragma once
// What every channel view of the process shares: the findings of the
// capability probe and the shader programs, which live in the one context
// group of all views. Internal to the view library.
class QOpenGLShader;
class QOpenGLShaderProgram;

struct GLShared
{
    bool probed = false;
    bool probeok = false;   // an OpenGL context could be made
    bool forcesoft = false;
    bool anisotropic = false;
    bool warned = false;    // the capability warning has been scheduled
    int users = 0;          // initialised views that use the programs below
    QOpenGLShader* vertex = nullptr;
    QOpenGLShader* fmaplimited = nullptr;
    QOpenGLShader* fmap = nullptr;
    QOpenGLShader* fmapcolor = nullptr; // fmap with MIXCOLOURS
    QOpenGLShader* fdisplace = nullptr;
    QOpenGLShader* fcolor = nullptr;
    QOpenGLShaderProgram* pmaplimited = nullptr;
    QOpenGLShaderProgram* pmap = nullptr;
    QOpenGLShaderProgram* pmapcolor = nullptr;
    QOpenGLShaderProgram* pdisplace = nullptr;
    QOpenGLShaderProgram* pcolor = nullptr;
};

extern GLShared glshared;
