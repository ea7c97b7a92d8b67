#pragma once
// The session folder: where it is by default, and the removal of old layer and
// session files at start and on request.
#include <QDateTime>
#include <QString>

// The default session folder below the system temporary folder `temp`:
// temp + "/kvtmp" when it is (or can be made) a real folder of this user, else
// a per-user folder beside it. `note` receives a line for the log when the
// usual folder could not be used (empty otherwise).
QString defaultsessionfolder(const QString& temp, QString* note);

// True for names this program gives its files in the session folder:
// "layer(XXXXXX).pcm" and its "layer(XXXXXX).kept", "session(<id>).kvx" and
// the Move/Scale work files "scale(<id>)-...".
bool issessionfilename(const QString& name);

// Removes from `folder` (not its sub-folders, no links) the files of this
// program (issessionfilename) that were last changed more than `days` days
// before `now`, except those of a running instance (session and work files
// named after a live session id, and any file changed after the start of the
// oldest running instance) and the layer files that a session file that stays
// names. A session file that another one took over (Recover) goes whatever
// its age.
// Returns the number of files removed.
int cleansessionfolder(const QString& folder, int days, const QDateTime& now = QDateTime::currentDateTime());

// Removes the same files as cleansessionfolder, whatever their age, except
// the files of running instances, this one (`ownsessionid`) included: an open
// project's layers live in them. Returns the number of files removed.
int removesessionfiles(const QString& folder, const QString& ownsessionid);

// The start time that a session id "yyyy.MM.dd-HH.mm.ss.zzz" stands for.
QDateTime sessionstart(const QString& sessionid);

// The newest session file in `folder` left by a run that is not running any
// more (not `ownsessionid`) and that no other session file took over;
// empty when there is none.
QString endedsession(const QString& folder, const QString& ownsessionid);
