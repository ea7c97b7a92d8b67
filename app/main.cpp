// The program entry of the editor.
#include "endsignals.h"
#include "memorypolicy.h"
#include "program.h"
#include "startup.h"
#include "tabletapplication.h"
#include "core/poolthreads.h"
#include "view/glchannel.h"

int main(int argc, char** argv)
{
    // A request to end during start-up must not kill the program half-way.
    catchendsignals();
    setmemorypolicy();
    // The views' surface format must be fixed before the application exists.
    GLChannel::setdefaultformat();
    TabletApplication app(argc, argv);
    qAddPostRoutine(endpoolthreads);
    StartOptions options;
    options.arguments = QCoreApplication::arguments();
    for (int i = 0; i < argc; ++i)
        options.rawarguments << QByteArray(argv[i]);
    options.executablefolder = QCoreApplication::applicationDirPath();
    const StartResult start = startsession(options);
    if (!start.logopen)
        return 1;
    return runprogram(app, start);
}
