#include <QTest>

#include <cmath>
#include <limits>

#include "core/fastmath.h"

class TestFastMath : public QObject
{
    Q_OBJECT

private slots:
    void sqrtRelativeError();
    void sqrtEdges();
    void atan2Accuracy();
    void atan2Axes();
    void sinCosAccuracy();
    void sinCosEdges();
};

static const float pi = 3.14159265f;

void TestFastMath::sqrtRelativeError()
{
    // Every few mantissa steps over thirty decades of magnitude.
    double worst = 0;
    for (double x = 1e-30; x < 1e30; x *= 1.0137) {
        const float fx = float(x);
        const double err = std::fabs(fastsqrt(fx) - std::sqrt(double(fx))) / std::sqrt(double(fx));
        worst = std::max(worst, err);
    }
    QVERIFY2(worst < 0.002, qPrintable(QString::number(worst)));
    QVERIFY(std::fabs(fastsqrt(4.0f) - 2.0f) < 2.0f * 0.002f);
}

void TestFastMath::sqrtEdges()
{
    QCOMPARE(fastsqrt(0.0f), 0.0f);
    QVERIFY(std::fabs(fastsqrt(1.0f) - 1.0f) < 0.002f);
    // The largest and smallest normal floats stay finite.
    const float big = fastsqrt(std::numeric_limits<float>::max());
    QVERIFY(std::isfinite(big));
    QVERIFY(std::fabs(big / std::sqrt(std::numeric_limits<float>::max()) - 1.0f) < 0.002f);
    const float small = fastsqrt(std::numeric_limits<float>::min());
    QVERIFY(std::fabs(small / std::sqrt(std::numeric_limits<float>::min()) - 1.0f) < 0.002f);
    // A negative argument has no root; it must still not trap.
    QVERIFY(!(fastsqrt(-4.0f) > 0.0f));
}

void TestFastMath::atan2Accuracy()
{
    double worst = 0;
    for (int i = 0; i < 3600; ++i) {
        const double a = -M_PI + (i + 0.5) * 2 * M_PI / 3600;
        for (double r : {1e-3, 1.0, 1e4}) {
            const float y = float(r * std::sin(a)), x = float(r * std::cos(a));
            double d = fastatan2(y, x) - std::atan2(double(y), double(x));
            if (d > M_PI)
                d -= 2 * M_PI;
            if (d < -M_PI)
                d += 2 * M_PI;
            worst = std::max(worst, std::fabs(d));
        }
    }
    // The cubic fit is off by up to 0.0102 rad a few degrees off the axes.
    QVERIFY2(worst < 0.011, qPrintable(QString::number(worst)));
}

void TestFastMath::atan2Axes()
{
    QVERIFY(std::fabs(fastatan2(0, 1)) < 1e-3f);
    QVERIFY(std::fabs(fastatan2(1, 0) - pi / 2) < 1e-3f);
    QVERIFY(std::fabs(fastatan2(0, -1) - pi) < 1e-3f);
    QVERIFY(std::fabs(fastatan2(-1, 0) + pi / 2) < 1e-3f);
    QVERIFY(std::fabs(fastatan2(1, 1) - pi / 4) < 1e-3f);
    QVERIFY(std::fabs(fastatan2(-1, -1) + 3 * pi / 4) < 1e-3f);
    // The origin gives a finite angle rather than a division by zero.
    QVERIFY(std::isfinite(fastatan2(0, 0)));
}

void TestFastMath::sinCosAccuracy()
{
    double worstsin = 0, worstcos = 0;
    for (int i = 0; i <= 20000; ++i) {
        const float x = -pi + i * (2 * pi / 20000);
        worstsin = std::max(worstsin, std::fabs(fastsin(x) - std::sin(double(x))));
        worstcos = std::max(worstcos, std::fabs(fastcos(x) - std::cos(double(x))));
    }
    QVERIFY2(worstsin < 0.0011, qPrintable(QString::number(worstsin)));
    QVERIFY2(worstcos < 0.0011, qPrintable(QString::number(worstcos)));
}

void TestFastMath::sinCosEdges()
{
    QCOMPARE(fastsin(0.0f), 0.0f);
    QVERIFY(std::fabs(fastsin(pi / 2) - 1) < 1e-3f);
    QVERIFY(std::fabs(fastsin(-pi / 2) + 1) < 1e-3f);
    QVERIFY(std::fabs(fastsin(pi)) < 1e-3f);
    QVERIFY(std::fabs(fastcos(0) - 1) < 1e-3f);
    // pi + pi/2 lies past the wrap point and is brought back once.
    QVERIFY(std::fabs(fastcos(pi) + 1) < 1e-3f);
    QVERIFY(std::fabs(fastcos(-pi) + 1) < 1e-3f);
    QVERIFY(std::fabs(fastcos(pi / 2)) < 1e-3f);
    QVERIFY(std::fabs(fastcos(3.0f) - std::cos(3.0f)) < 1e-3f);
}

QTEST_APPLESS_MAIN(TestFastMath)
#include "tst_fastmath.moc"
