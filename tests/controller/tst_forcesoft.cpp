// Software rendering asked for in the settings reaches the views and the log.
// A process of its own: the choice holds for the whole process.
#include <QApplication>
#include <QFile>
#include <QSettings>
#include <QtTest>

#include "app/mainwindow.h"
#include "controller/spectrumgui.h"
#include "core/log.h"
#include "testsupport.h"
#include "view/glchannel.h"

class TestForceSoft : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        kvtestfolders();
        QVERIFY(loginit(2));
    }

    void forcedbysetting()
    {
        QSettings().setValue("forcesoft", true);
        MainWindow window;
        auto* gui = new SpectrumGui(&window);
        QVERIFY(GLChannel::forcesoft());
        delete gui;
        QSettings().remove("forcesoft");
        QFile log(logfilepath());
        QVERIFY(log.open(QIODevice::ReadOnly));
        QByteArray text = log.readAll();
        text.replace('\0', "");
        QVERIFY(text.contains("Software rendering forced by user"));
    }

};

int main(int argc, char** argv)
{
    GLChannel::setdefaultformat();
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName("Murrowgate");
    QCoreApplication::setApplicationName("Korvane");
    TestForceSoft test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_forcesoft.moc"
