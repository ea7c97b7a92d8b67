#pragma once
// The one way the shell asks the user for a file or a folder. Tests set an
// answerer so that nothing waits for a person; without one the standard
// dialog is shown.
#include <QString>
#include <functional>

class QWidget;

struct FileRequest
{
    enum Kind { Open, Save, Folder };
    Kind kind = Open;
    QWidget* parent = nullptr;
    QString caption;
    QString path; // the proposed file name, or the folder to start in
    QString filter;
    // Open and Save: where the filter the user picked is written (may be null).
    QString* selectedfilter = nullptr;
};

// The chosen path; empty when the user cancelled.
QString choosefile(const FileRequest& request);

using FileAnswerer = std::function<QString(const FileRequest&)>;
// An empty answerer brings the standard dialog back.
void setfileanswerer(FileAnswerer answerer);
