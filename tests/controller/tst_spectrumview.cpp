// What the user sees: a 1 kHz sine bound as the mix through the controller
// shows as a bright line in the mix colour at the 1 kHz row of the view.
#include <QApplication>
#include <QComboBox>
#include <QSplitter>
#include <QtTest>
#include <cmath>
#include <vector>

#include "app/mainwindow.h"
#include "controller/spectrumgui.h"
#include "core/globals.h"
#include "core/layer.h"
#include "core/log.h"
#include "panels/layersgui.h"
#include "testsupport.h"
#include "view/glchannel.h"

namespace {

layer* sinelayer(int rate, double seconds, double frequency, float amplitude)
{
    auto* l = new layer();
    l->resample(rate, 1, 0);
    const int frames = int(std::floor(seconds * rate + 0.5));
    std::vector<float> data(static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i)
        data[size_t(i)] = amplitude * float(std::sin(2 * M_PI * frequency * i / rate));
    l->write(data.data(), 0, seconds);
    return l;
}

// Mean colour of each pixel row over the middle half of the columns, where no
// edge of the layer's time span reaches.
std::vector<QColor> rowcolours(const QImage& image)
{
    std::vector<QColor> rows;
    const int x0 = image.width() / 4, x1 = 3 * image.width() / 4;
    for (int y = 0; y < image.height(); ++y) {
        double r = 0, g = 0, b = 0;
        for (int x = x0; x < x1; ++x) {
            const QColor c = image.pixelColor(x, y);
            r += c.red();
            g += c.green();
            b += c.blue();
        }
        const int n = x1 - x0;
        rows.emplace_back(int(r / n), int(g / n), int(b / n));
    }
    return rows;
}

int brightestrow(const std::vector<QColor>& rows)
{
    int best = 0;
    for (int y = 1; y < int(rows.size()); ++y)
        if (rows[size_t(y)].green() > rows[size_t(best)].green())
            best = y;
    return best;
}

} // namespace

class TestSpectrumView : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        kvtestfolders();
        QVERIFY(loginit(2));
    }

    void viewssharethesplitter()
    {
        MainWindow window;
        window.resize(700, 600);
        auto* gui = new SpectrumGui(&window);
        auto* panel = new LayersGui(&window);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window, 30000));
        auto* l = new layer();
        l->resample(48000, 3, 0);
        panel->mixlayer = new layer();
        panel->mixlayer->resample(48000, 3, 0);
        panel->mixlayer->addchild(l);
        QVERIFY(gui->bindlayer(0, panel->mixlayer));
        QCOMPARE(gui->splitter->count(), 3);
        QApplication::processEvents();
        const QList<int> sizes = gui->splitter->sizes();
        QCOMPARE(sizes.size(), 3);
        for (int size : sizes) {
            QVERIFY(size > 100);
            QVERIFY(std::abs(size - sizes.first()) <= 2);
        }
        for (int c = 0; c < 3; ++c)
            QVERIFY(gui->view(c)->isVisible());
        QVERIFY(gui->bindlayer(0, nullptr));
        QCOMPARE(gui->splitter->count(), 1);
        QVERIFY(!gui->firstview->isVisible());
        delete gui;
        delete panel;
        delete l;
    }

    void sinelineinthemixcolour()
    {
        MainWindow window;
        window.resize(700, 560);
        auto* gui = new SpectrumGui(&window);
        auto* panel = new LayersGui(&window);

        QComboBox sizes(&window);
        for (int size = 64; size <= 65536; size *= 2)
            sizes.addItem(QString::number(size), size);
        connect(&sizes, &QComboBox::currentIndexChanged, gui, &SpectrumGui::infftsize);
        sizes.setCurrentIndex(6); // 4096
        QCOMPARE(gui->fftsize, 4096);

        const int rate = 44100;
        layer* sine = sinelayer(rate, 3.0, 1000.0, 0.5);
        panel->alllayers = new layer();
        panel->alllayers->resample(rate, 1, 0);
        panel->alllayers->addchild(sine);
        panel->mixlayer = new layer();
        panel->mixlayer->resample(rate, 1, 0);
        panel->mixlayer->addchild(sine);
        projectformat = {rate, 1, sine->speakermask};
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window, 30000));
        QVERIFY(gui->bindlayer(0, panel->mixlayer));
        QCOMPARE(gui->displayarea, QRectF(0, rate / 2, 3.0, -(rate / 2)));

        GLChannel* view = gui->firstview;
        QVERIFY(view->isVisible());
        const double expectedrow = (rate / 2 - 1000.0) / (rate / 2);
        std::vector<QColor> rows;
        int row = -1;
        // The texture arrives from the view's worker thread; wait for it.
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                const QImage image = view->grabFramebuffer();
                if (image.isNull() || image.height() < 50)
                    return false;
                rows = rowcolours(image);
                row = brightestrow(rows);
                return rows[size_t(row)].green() > 128;
            }(),
            20000);
        const int height = int(rows.size());
        const double at = double(row) / (height - 1);
        QVERIFY2(std::fabs(at - expectedrow) < 3.0 / height,
                 QByteArray::number(row) + " of " + QByteArray::number(height));
        if (qEnvironmentVariableIsSet("KV_SAVE_VIEW"))
            view->grabFramebuffer().save(qEnvironmentVariable("KV_SAVE_VIEW"));
        const QColor line = rows[size_t(row)];
        QVERIFY2(line.green() > 2 * line.red() && line.green() > 2 * line.blue(),
                 QByteArray("line colour ") + line.name().toUtf8());
        // Far from the line the spectrum is dark.
        const QColor far = rows[size_t(row > height / 2 ? row / 4 : (row + height) / 2)];
        QVERIFY2(far.green() < line.green() / 2, QByteArray("far colour ") + far.name().toUtf8());

        delete gui;
        delete panel;
        delete sine;
    }
};

int main(int argc, char** argv)
{
    GLChannel::setdefaultformat();
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName("Murrowgate");
    QCoreApplication::setApplicationName("Korvane");
    TestSpectrumView test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_spectrumview.moc"
