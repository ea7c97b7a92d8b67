#include "filechooser.h"

#include <QFileDialog>

namespace {
FileAnswerer& answerer()
{
    static FileAnswerer current;
    return current;
}
} // namespace

QString choosefile(const FileRequest& request)
{
    if (answerer())
        return answerer()(request);
    switch (request.kind) {
    case FileRequest::Open:
        return QFileDialog::getOpenFileName(request.parent, request.caption, request.path, request.filter,
                                            request.selectedfilter);
    case FileRequest::Save:
        return QFileDialog::getSaveFileName(request.parent, request.caption, request.path, request.filter,
                                            request.selectedfilter);
    case FileRequest::Folder:
        return QFileDialog::getExistingDirectory(request.parent, request.caption, request.path,
                                                 QFileDialog::ShowDirsOnly);
    }
    return QString();
}

void setfileanswerer(FileAnswerer a)
{
    answerer() = std::move(a);
}
