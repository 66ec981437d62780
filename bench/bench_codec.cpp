// The codec on one synthetic 10,000-line entry (Japanese and Latin lines with
// escapes, about 1.1 MB), in bytes of the entry per second, beside a memcpy of
// the same bytes in the same run. Run with --benchmark_repetitions=N for the
// median and the spread of N runs.

#include "codec/compose.h"
#include "codec/decode.h"
#include "codec/messagefile.h"

#include <benchmark/benchmark.h>
#include <cstring>

using namespace core;

namespace {

constexpr int lineCount = 10000;

NarcEntry syntheticEntry()
{
    QStringList lines;
    QList<quint16> keys;
    for (int i = 0; i < lineCount; ++i) {
        switch (i % 4) {
        case 0:
            lines.append(QStringLiteral("Line %1: the quick brown fox jumps over the lazy dog. Again?").arg(i));
            break;
        case 1:
            lines.append(QStringLiteral("\u884c %1 \u6f22\u5b57\u304b\u306a\u307e\u3058\u308a\u306e\u6587\u7ae0"
                                        "\u3067\u3059\u3002\\x000a\u3053\u3093\u306b\u3061\u306f\u3001"
                                        "\u3042\u308a\u304c\u3068\u3046\u3054\u3056\u3044\u307e\u3059\\xf000")
                             .arg(i));
            break;
        case 2:
            lines.append(QStringLiteral("\\xfffe\\x0001Name\\xffff: \u30dd\u30b1\u30c3\u30c8\u306b\u5165\u308c\u305f"
                                        " (%1 items) \\x000aSee you soon!")
                             .arg(i));
            break;
        default:
            lines.append(QStringLiteral("\u3010\u304a\u77e5\u3089\u305b\u3011 \u30a4\u30d9\u30f3\u30c8 #%1 "
                                        "\u304c\u59cb\u307e\u308a\u307e\u3057\u305f\uff01 Let's go, trainer.")
                             .arg(i));
            break;
        }
        keys.append(quint16(0x1234 + 0x91 * i));
    }
    const Result<NarcEntry> file = newMessageFile({lines}, {keys});
    if (!file.ok())
        qFatal("cannot build the entry: %s", qPrintable(file.reason));
    return file.value;
}

const NarcEntry &entry()
{
    static const NarcEntry built = syntheticEntry();
    return built;
}

// What the editor shows for the entry.
QString editorText(const NarcEntry &bytes)
{
    return decodeMessageSection(bytes, 0, DecodeForm::Text).text;
}

void setBytes(benchmark::State &state)
{
    state.SetBytesProcessed(qint64(state.iterations()) * entry().size());
    state.counters["entry_bytes"] = double(entry().size());
}

void memcpyEntry(benchmark::State &state)
{
    const NarcEntry &bytes = entry();
    QByteArray target(bytes.size(), '\0');
    for (auto _ : state) {
        std::memcpy(target.data(), bytes.constData(), size_t(bytes.size()));
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    setBytes(state);
}

void decodeToEditorText(benchmark::State &state)
{
    for (auto _ : state) {
        QString text = editorText(entry());
        benchmark::DoNotOptimize(text.data());
    }
    setBytes(state);
}

void decodeToLines(benchmark::State &state)
{
    for (auto _ : state) {
        DecodedSection decoded = decodeMessageSection(entry(), 0);
        benchmark::DoNotOptimize(decoded.lines.data());
    }
    setBytes(state);
}

void composeUnedited(benchmark::State &state)
{
    const QString text = editorText(entry());
    for (auto _ : state) {
        ComposeResult result = composeEntry(entry(), text, 0);
        if (!result.changed())
            state.SkipWithError("the unedited text was refused");
        benchmark::DoNotOptimize(result.entry.data());
    }
    setBytes(state);
}

void roundTrip(benchmark::State &state)
{
    for (auto _ : state) {
        ComposeResult result = composeEntry(entry(), editorText(entry()), 0);
        benchmark::DoNotOptimize(result.entry.data());
    }
    setBytes(state);
}

} // namespace

BENCHMARK(memcpyEntry)->Unit(benchmark::kMicrosecond);
BENCHMARK(decodeToEditorText)->Unit(benchmark::kMicrosecond);
BENCHMARK(decodeToLines)->Unit(benchmark::kMicrosecond);
BENCHMARK(composeUnedited)->Unit(benchmark::kMicrosecond);
BENCHMARK(roundTrip)->Unit(benchmark::kMicrosecond);
BENCHMARK(memcpyEntry)->Name("memcpyEntry/again")->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
