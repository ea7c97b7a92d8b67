#pragma once
// A Qt object, a widget above all, belongs to the thread that made it and may
// be used on that thread only; ThreadSanitizer cannot see a use elsewhere,
// since Qt is not instrumented. In checked builds (every build but the
// optimised release: KV_CHECKED) ownthread() ends the program at once, naming
// the object, when it is called on another thread; in the release it only
// hands the object on.
#include <QObject>

#ifdef KV_CHECKED
#include <QThread>
#include <QtGlobal>
#endif

template <class T>
T* ownthread(T* object)
{
#ifdef KV_CHECKED
    if (object && QThread::currentThread() != object->thread())
        qFatal("%s \"%s\" used off its own thread", object->metaObject()->className(),
               qPrintable(object->objectName()));
#endif
    return object;
}
