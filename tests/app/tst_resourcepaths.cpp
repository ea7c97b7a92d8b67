// Every compiled-in resource that the sources ask for by name is there: the
// program's own (linked in) and the plugins' (loaded from the installation
// root). A missing icon shows no picture, or a clipped text in its place.
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLibrary>
#include <QRegularExpression>
#include <QTest>

class TestResourcePaths : public QObject
{
    Q_OBJECT

private slots:
    void everyPathTheSourcesNameExists()
    {
        QDirIterator plugins(QStringLiteral(KV_TEST_ROOT) + "/Plugins", QDir::Files, QDirIterator::Subdirectories);
        int loaded = 0;
        while (plugins.hasNext()) {
            QLibrary library(plugins.next());
            library.setLoadHints(QLibrary::ResolveAllSymbolsHint);
            loaded += library.load() ? 1 : 0; // stays loaded: its resources stay registered
        }
        QVERIFY(loaded >= 14);

        // A literal path with an ending, or a folder that code appends names to.
        const QRegularExpression named(QStringLiteral("(?:\"|url\\():/([A-Za-z0-9_./-]+\\.[a-z]+|[A-Za-z]+/)(?:\"|\\))"));
        QStringList missing;
        int found = 0;
        for (const char* folder : {"app", "panels", "view", "controller", "core", "sdk", "plugins", "resources"}) {
            QDirIterator sources(QStringLiteral(KV_SOURCE_DIR) + "/" + folder,
                                 {"*.cpp", "*.h", "*.css"}, QDir::Files, QDirIterator::Subdirectories);
            while (sources.hasNext()) {
                const QString path = sources.next();
                QFile file(path);
                QVERIFY(file.open(QIODevice::ReadOnly));
                const QString text = QString::fromUtf8(file.readAll());
                for (const QRegularExpressionMatch& m : named.globalMatch(text)) {
                    const QString resource = ":/" + m.captured(1);
                    ++found;
                    const bool there = resource.endsWith('/') ? !QDir(resource).isEmpty() : QFile::exists(resource);
                    if (!there)
                        missing << resource + " (" + QDir(KV_SOURCE_DIR).relativeFilePath(path) + ")";
                }
            }
        }
        QVERIFY(found > 100);
        missing.removeDuplicates();
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join("\n")));
    }
};

QTEST_MAIN(TestResourcePaths)
#include "tst_resourcepaths.moc"
