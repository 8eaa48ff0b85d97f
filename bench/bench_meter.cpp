// Serial frame assembly and decoding of a long stream of mixed frames, the
// path every byte from the COM port takes. Also counts heap allocations per
// frame once the decoder is warm: there must be none.

#include "meter/frameassembler.h"
#include "meter/framedecoder.h"
#include "shared/localeinfo.h"

#include <benchmark/benchmark.h>

#include <QByteArray>

#include <atomic>
#include <clocale>
#include <cstdlib>
#include <vector>

// Count every malloc/calloc/realloc while counting is on; Qt's containers
// allocate through these, not through operator new.
extern "C" void *__libc_malloc(std::size_t);
extern "C" void *__libc_calloc(std::size_t, std::size_t);
extern "C" void *__libc_realloc(void *, std::size_t);

namespace {
std::atomic<bool> g_counting{false};
std::atomic<long long> g_allocations{0};
} // namespace

extern "C" void *malloc(std::size_t n)
{
    if (g_counting.load(std::memory_order_relaxed))
        g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(n);
}
extern "C" void *calloc(std::size_t n, std::size_t size)
{
    if (g_counting.load(std::memory_order_relaxed))
        g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(n, size);
}
extern "C" void *realloc(void *p, std::size_t n)
{
    if (g_counting.load(std::memory_order_relaxed))
        g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(p, n);
}

namespace {

QByteArray frame(char sign, const char *digits, char point, std::uint8_t s1, std::uint8_t s2, std::uint8_t s3,
                 std::uint8_t s4)
{
    QByteArray f;
    f.append(sign).append(digits, 4).append(' ').append(point);
    f.append(char(s1)).append(char(s2)).append(char(s3)).append(char(s4));
    f.append('\0').append("\r\n");
    return f;
}

// A mix of what a meter sends over an afternoon: volts auto-ranging, mV,
// currents, resistance with over-range, capacitance, frequency, duty,
// temperature, plus a frame with a bad sign and a short frame.
QByteArray mixedStream(int frames)
{
    const QByteArray kinds[] = {
        frame('+', "1234", '1', 0x30, 0, 0, 0x80),    frame('+', "0400", '4', 0x30, 0, 0, 0x80),
        frame('-', "0399", '2', 0x10, 0, 0x40, 0x80), frame('+', "2305", '4', 0x28, 0, 0, 0x80),
        frame('+', "0123", '4', 0x10, 0, 0x80, 0x40), frame('+', "?000", '2', 0x20, 0, 0x20, 0x20),
        frame('+', "1000", '1', 0x20, 0, 0x10, 0x20), frame('+', "0470", '4', 0x20, 0x02, 0, 0x04),
        frame('+', "5000", '2', 0x20, 0, 0x20, 0x08), frame('+', "0500", '4', 0x20, 0x20, 0x02, 0),
        frame('+', "0025", '0', 0x20, 0, 0, 0x02),    frame('*', "1234", '1', 0x30, 0, 0, 0x80),
    };
    QByteArray s("\n");
    s.reserve(frames * 14 + 1);
    for (int i = 0; i < frames; ++i)
        s += kinds[i % std::size(kinds)];
    return s;
}

void BM_SerialAssembleAndDecode(benchmark::State &state)
{
    std::setlocale(LC_ALL, "");
    const auto locale = createSystemLocaleInfo();
    FrameAssembler assembler;
    FrameDecoder decoder;
    long long decoded = 0;
    const QByteArray stream = mixedStream(12000);
    // The port driver delivers up to 2048 bytes per poll; the separator is
    // asked for with every frame, as the program does.
    auto feed = [&] {
        for (qsizetype at = 0; at < stream.size(); at += 2048) {
            QByteArrayView batch = QByteArrayView(stream).sliced(at, std::min<qsizetype>(2048, stream.size() - at));
            while (const std::optional<MeterFrame> frame = assembler.takeSerialFrame(batch)) {
                if (decoder.decode(*frame, locale->userDecimalSeparator()))
                    ++decoded;
            }
        }
    };
    feed(); // warm up: text buffers reach their size

    long long frames = 0;
    g_allocations = 0;
    g_counting = true;
    for (auto _ : state) {
        const long long before = decoded;
        feed();
        frames += decoded - before;
    }
    g_counting = false;
    state.SetItemsProcessed(frames);
    state.SetBytesProcessed(state.iterations() * stream.size());
    state.counters["frames/s"] = benchmark::Counter(double(frames), benchmark::Counter::kIsRate);
    state.counters["allocs/frame"] = double(g_allocations.load()) / double(std::max(frames, 1LL));
}
BENCHMARK(BM_SerialAssembleAndDecode)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
