// Exporting from the layer panel of a whole main window through codecbridge,
// loaded from the installation root, and the real ffmpeg: what is written
// decodes again to the layer's samples or to the mix of the active layers,
// within the precision of the format; the file handed over by a calling
// program gets the mix in its own format; every problem is said.
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cmath>

#include "codecbridgetest.h"
#include "panelrig.h"

class TestLayerExport : public QObject
{
    Q_OBJECT

private slots:
    void init() { QSettings().clear(); }
    void exportedLayerDecodesToItsSamples_data();
    void exportedLayerDecodesToItsSamples();
    void mixGoesToTheChosenFileAndToTheCaller();
    void problemsAreSaid();
};

namespace {

// ffmpeg's decode of a file as floats.
std::vector<float> decoded(const QString& file)
{
    return kvfloats(codecbridgetest::reference({"-i", file}));
}

QStringList allexportfilters(LayersGui* panel)
{
    QStringList filters;
    for (int i = 0; i < panel->fileplugincount; ++i)
        filters += panel->fileplugins[i]->exportfilters;
    return filters;
}

// A mix of three rows over 1.5 s: A current, B inactive, C subtractive at
// half volume and half a second later.
void mixproject(PanelRig& r)
{
    project(r, 3, 8000, 2);
    click(r, 1, 0);
    click(r, 2, 2);
    r.part<QDoubleSpinBox>(2, LayersGui::SpinRole)->setValue(-6.0);
    r.at(2)->start = 0.5;
    r.panel()->inrefreshalllayers();
    click(r, 0, 3);
}

std::vector<float> mixof(PanelRig& r)
{
    return expectedmix({r.at(0), r.at(1), r.at(2)}, 8000, 2, 0.0, 12000);
}

} // namespace

void TestLayerExport::exportedLayerDecodesToItsSamples_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("written");
    QTest::addColumn<double>("precision");
    QTest::newRow("float WAV") << "Microsoft WAV 32bit (*.wav)"
                               << "take.wav"
                               << "take.wav" << 0.0;
    QTest::newRow("24-bit WAV, ending added") << "Microsoft WAV 24bit (*.wav)"
                                              << "take"
                                              << "take.wav" << 1.0 / (1 << 23);
    QTest::newRow("FLAC, other ending") << "Free Lossless Audio Codec (*.flac)"
                                        << "take.mp3"
                                        << "take.mp3.flac" << 1.0 / (1 << 15);
}

void TestLayerExport::exportedLayerDecodesToItsSamples()
{
    QFETCH(QString, filter);
    QFETCH(QString, typed);
    QFETCH(QString, written);
    QFETCH(double, precision);
    PanelRig r;
    QTemporaryDir work;
    project(r, 2, 44100, 2);
    click(r, 1, 3);
    layer* l = r.current();
    fill(l, 0.0, 44100, [](int k, int c) {
        return float((c ? 0.25 : 0.5) * std::sin(2 * M_PI * (440.0 + 110 * c) * k / 44100.0));
    });
    // The layer's own gain is the mix's business, not the export's.
    r.part<QDoubleSpinBox>(1, LayersGui::SpinRole)->setValue(-12.0);
    const std::vector<float> samples = samplefile(l);

    answerfile(r, work.filePath(typed), filter);
    r.window()->exportact->trigger();
    QVERIFY2(r.asked.isEmpty(), qPrintable(r.titles().join(", ")));
    QCOMPARE(r.rig.filerequests.size(), 1);
    const FileRequest request = r.rig.filerequests.at(0);
    QCOMPARE(request.kind, FileRequest::Save);
    QCOMPARE(request.caption, QString("Export Layer"));
    QCOMPARE(request.path, rootpath + "/Resources/Samples/B");
    QCOMPARE(request.filter, allexportfilters(r.panel()).join(";;"));
    QVERIFY(request.filter.contains(filter));
    QCOMPARE(QSettings().value("lastexportfolder").toString(), work.path());

    const std::vector<float> back = decoded(work.filePath(written));
    QCOMPARE(back.size(), samples.size());
    QVERIFY(maxdifference(back, samples) <= precision);
    if (precision > 0)
        QVERIFY(maxdifference(back, samples) > 0); // really that format, not float

    // The next export starts where the last one went.
    answerfile(r, QString());
    r.panel()->Export();
    QCOMPARE(r.rig.filerequests.last().path, work.path() + "/B");
}

void TestLayerExport::mixGoesToTheChosenFileAndToTheCaller()
{
    PanelRig r;
    QTemporaryDir work;
    mixproject(r);
    const std::vector<float> expected = mixof(r);
    QCOMPARE(expected[0], 1.0f - 0.0f);
    QCOMPARE(expected[size_t(4000 * 2)], 1.0f - 1.5f);

    answerfile(r, work.filePath("mix.wav"), "WAV 32bit");
    r.window()->exportmixact->trigger();
    QVERIFY2(r.asked.isEmpty(), qPrintable(r.titles().join(", ")));
    QCOMPARE(r.rig.filerequests.at(0).caption, QString("Export Mix"));
    QCOMPARE(r.rig.filerequests.at(0).path, rootpath + "/Resources/Samples/Untitled");
    QVERIFY(maxdifference(decoded(work.filePath("mix.wav")), expected) < 1e-6);

    // The caller's file is replaced by the mix in the format its ending names:
    // the float one of the two WAV formats.
    const QString caller = work.filePath("caller.wav");
    QFile old(caller);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("the caller's own take");
    old.close();
    r.window()->callerpath = caller;
    r.rig.filerequests.clear();
    r.window()->exportcalleract->trigger();
    QVERIFY2(r.asked.isEmpty(), qPrintable(r.titles().join(", ")));
    QVERIFY(r.rig.filerequests.isEmpty());
    QCOMPARE(maxdifference(decoded(caller), expected), 0.0);

    // At the exit, after the question.
    r.part<QDoubleSpinBox>(0, LayersGui::SpinRole)->setValue(6.0);
    const std::vector<float> louder = mixof(r);
    r.answers["Exiting"] = QMessageBox::Yes;
    QVERIFY(r.window()->close());
    QCOMPARE(r.titles(), QStringList{"Exiting"});
    QCOMPARE(maxdifference(decoded(caller), louder), 0.0);
    QVERIFY(louder[0] == 2.0f);
}

void TestLayerExport::problemsAreSaid()
{
    PanelRig r;
    QTemporaryDir work;
    const QString caller = work.filePath("caller.wav");
    QFile old(caller);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("kept");
    old.close();
    const auto said = [&](const QString& title, const QString& part) {
        QCOMPARE(r.titles(), QStringList{title});
        QVERIFY2(r.asked.at(0).text.contains(part), qPrintable(r.asked.at(0).text));
        QVERIFY(r.rig.filerequests.isEmpty());
        r.asked.clear();
    };

    // Nothing open.
    r.panel()->Export();
    said("Export Layer", "Select the layer to export first.");
    r.panel()->ExportMix();
    said("Export Mix", "nothing to export");
    r.panel()->ExportCaller(caller);
    said("Export to Caller", "nothing to export");

    // An empty current layer, and no active layer.
    project(r, 1);
    r.panel()->NewLayer();
    r.panel()->Export();
    said("Export Layer", "holds no samples");
    click(r, 1, 0);
    r.panel()->ExportMix();
    said("Export Mix", "no active layer holds samples");
    click(r, 1, 0);

    // An ending no format has, and a folder that is not there.
    r.panel()->ExportCaller(work.filePath("caller.xyz"));
    said("Export to Caller", "caller.xyz");
    QVERIFY(!QFileInfo::exists(work.filePath("caller.xyz")));
    click(r, 1, 3);
    answerfile(r, work.filePath("no/such/folder/take.wav"), "WAV 32bit");
    r.panel()->Export();
    QCOMPARE(r.titles(), QStringList{"Export Layer"});
    QCOMPARE(r.asked.at(0).icon, QMessageBox::Critical);
    // One box, the host's, with the plugin's reason.
    QVERIFY(r.asked.at(0).text.contains("could not be written"));
    QVERIFY2(r.asked.at(0).text.contains("No file can be created in the folder " + work.filePath("no/such/folder")),
             qPrintable(r.asked.at(0).text));
    r.asked.clear();

    // A cancelled dialog writes and says nothing.
    answerfile(r, QString());
    r.panel()->ExportMix();
    QVERIFY(r.asked.isEmpty());
    QCOMPARE(codecbridgetest::contents(caller), QByteArray("kept"));
    QCOMPARE(QDir(work.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"caller.wav"});
}

QTEST_MAIN(TestLayerExport)
#include "tst_layerexport.moc"
