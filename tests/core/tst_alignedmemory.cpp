#include <QTest>

#include <climits>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/alignedmemory.h"

class TestAlignedMemory : public QObject {
    Q_OBJECT

    static int storeddistance(const float* block)
    {
        int distance = 0;
        std::memcpy(&distance, reinterpret_cast<const char*>(block) - sizeof(int), sizeof(int));
        return distance;
    }

private slots:
    void refusesbadrequests()
    {
        QCOMPARE(alignedalloc(0, 16), nullptr);
        QCOMPARE(alignedalloc(-1, 16), nullptr);
        QCOMPARE(alignedalloc(INT_MIN, 16), nullptr);
        QCOMPARE(alignedalloc(100, 0), nullptr);
        QCOMPARE(alignedalloc(100, -16), nullptr);
        QCOMPARE(alignedalloc(100, 12), nullptr);
        QCOMPARE(alignedalloc(INT_MAX, 16), nullptr);
        QCOMPARE(alignedalloc(INT_MAX - 19, 16), nullptr);
        alignedfree(nullptr);
    }

    void alignsandstoresdistance()
    {
        // Many blocks so that the heap hands out addresses of every offset;
        // ASan checks that each free reaches the start of its heap block.
        for (int alignment : {1, 2, 4, 8, 16, 64, 4096}) {
            for (int i = 0; i < 64; ++i) {
                const int size = 100 + i * 4;
                float* block = alignedalloc(size, alignment);
                QVERIFY(block);
                QCOMPARE(reinterpret_cast<uintptr_t>(block) % uintptr_t(alignment), uintptr_t(0));
                const int distance = storeddistance(block);
                QVERIFY2(distance >= 5 && distance <= alignment + 4, qPrintable(QString::number(distance)));
                std::memset(block, 0x5a, size); // the whole block is usable
                alignedfree(block);
            }
        }
        float* block = alignedalloc(100, 16);
        QVERIFY(block);
        QCOMPARE(reinterpret_cast<uintptr_t>(block) % 16, uintptr_t(0));
        QVERIFY(storeddistance(block) >= 5 && storeddistance(block) <= 20);
        alignedfree(block);
    }

    void interleaveroundtrip()
    {
        for (int n : {1, 3, 4, 7, 16, 33}) {
            std::vector<float> rows(4 * n), groups(4 * n, -1.f), back(4 * n, -1.f);
            for (int k = 0; k < 4 * n; ++k)
                rows[k] = float(k) + 0.25f;
            interleave4(groups.data(), rows.data(), n);
            for (int i = 0; i < n; ++i)
                for (int r = 0; r < 4; ++r)
                    QCOMPARE(groups[4 * i + r], rows[r * n + i]);
            deinterleave4(back.data(), groups.data(), n);
            QCOMPARE(back, rows);
        }
        float untouched[4] = {7, 7, 7, 7};
        float source[4] = {1, 2, 3, 4};
        interleave4(untouched, source, 0);
        interleave4(untouched, source, -3);
        deinterleave4(untouched, source, 0);
        QCOMPARE(untouched[0], 7.f);
        QCOMPARE(untouched[3], 7.f);
    }

    void multiplytails()
    {
        // 16 floats per array, aligned; n runs through tails of 0..3 elements.
        float* a = alignedalloc(16 * sizeof(float), 16);
        float* b = alignedalloc(16 * sizeof(float), 16);
        float* dst = alignedalloc(16 * sizeof(float), 16);
        QVERIFY(a && b && dst);
        for (unsigned n : {0u, 3u, 4u, 7u, 12u}) {
            for (int i = 0; i < 16; ++i) {
                a[i] = float(i + 1);
                b[i] = 0.5f * float(i) - 2.f;
                dst[i] = 1000.f + float(i);
            }
            vmul(dst, a, b, n);
            for (unsigned i = 0; i < 16; ++i)
                QCOMPARE(dst[i], i < n ? a[i] * b[i] : 1000.f + float(i));

            for (int i = 0; i < 16; ++i)
                dst[i] = 1000.f + float(i);
            vmuladd(dst, a, b, n);
            for (unsigned i = 0; i < 16; ++i)
                QCOMPARE(dst[i], i < n ? 1000.f + float(i) + a[i] * b[i] : 1000.f + float(i));
        }
        // In place, as the windowing does it.
        for (int i = 0; i < 16; ++i)
            a[i] = float(i);
        vmul(a, a, a, 7);
        QCOMPARE(a[6], 36.f);
        QCOMPARE(a[7], 7.f);
        alignedfree(a);
        alignedfree(b);
        alignedfree(dst);
    }
};

QTEST_APPLESS_MAIN(TestAlignedMemory)
#include "tst_alignedmemory.moc"
