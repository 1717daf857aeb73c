// The history files beside plain reads and writes of the same number of bytes, in the same folder
// and the same run. The saves flush to disk, so they are compared with a plain write that does too
// (and, for scale, with one that does not).
#include "core/history_export.h"
#include "core/history_file.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

QTemporaryDir& Folder()
{
    static QTemporaryDir folder;
    return folder;
}

std::string PathOf(const QString& name)
{
    return Folder().filePath(name).toStdString();
}

THistoryState FullState()
{
    THistoryState state;
    for (std::size_t i = 0; i < HistoryImageSize; ++i)
        state.HistoryImage[i] = static_cast<std::uint8_t>((i * 37 + i / 8) % 255);
    for (std::size_t r = 0; r < HistoryRecordCount; ++r) {
        state.HistoryImage[8 * r + 4] = static_cast<std::uint8_t>(r % 24);
        state.HistoryImage[8 * r + 5] = static_cast<std::uint8_t>(1 + r / 24 % 28);
        state.HistoryImage[8 * r + 6] = static_cast<std::uint8_t>(1 + r / 672 % 12);
        state.HistoryImage[8 * r + 7] = 16;
    }
    state.DiagramQuantity = 2;
    return state;
}

void PlainWrite(const std::string& path, const QByteArray& bytes, bool flush)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || ::write(fd, bytes.constData(), static_cast<std::size_t>(bytes.size())) != bytes.size() ||
        (flush && ::fsync(fd) != 0))
        std::abort();
    ::close(fd);
}

void PlainRead(const std::string& path, QByteArray& buffer)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ::read(fd, buffer.data(), static_cast<std::size_t>(buffer.size())) != buffer.size())
        std::abort();
    ::close(fd);
}

void BM_LoadHistoryFile(benchmark::State& st)
{
    const QString path = Folder().filePath(QStringLiteral("load.mtb"));
    SaveHistoryFile(FullState(), path);
    THistoryState state;
    for (auto _ : st) {
        auto result = LoadHistoryFile(state, path);
        benchmark::DoNotOptimize(result);
    }
    st.SetBytesProcessed(st.iterations() * HistoryFileSize);
}
BENCHMARK(BM_LoadHistoryFile);

void BM_PlainReadSameBytes(benchmark::State& st)
{
    const std::string path = PathOf(QStringLiteral("plain-read.mtb"));
    PlainWrite(path, HistoryFileBytes(FullState().HistoryImage, 2), false);
    QByteArray buffer(HistoryFileSize, '\0');
    for (auto _ : st)
        PlainRead(path, buffer);
    st.SetBytesProcessed(st.iterations() * HistoryFileSize);
}
BENCHMARK(BM_PlainReadSameBytes);

void BM_SaveHistoryFile(benchmark::State& st)
{
    const THistoryState state = FullState();
    const QString path = Folder().filePath(QStringLiteral("save.mtb"));
    for (auto _ : st)
        SaveHistoryFile(state, path);
    st.SetBytesProcessed(st.iterations() * HistoryFileSize);
}
BENCHMARK(BM_SaveHistoryFile)->UseRealTime();

void BM_PlainWriteFlushedSameBytes(benchmark::State& st)
{
    const QByteArray bytes = HistoryFileBytes(FullState().HistoryImage, 2);
    const std::string path = PathOf(QStringLiteral("plain-write-flushed.mtb"));
    for (auto _ : st)
        PlainWrite(path, bytes, true);
    st.SetBytesProcessed(st.iterations() * bytes.size());
}
BENCHMARK(BM_PlainWriteFlushedSameBytes)->UseRealTime();

void BM_PlainWriteSameBytes(benchmark::State& st)
{
    const QByteArray bytes = HistoryFileBytes(FullState().HistoryImage, 2);
    const std::string path = PathOf(QStringLiteral("plain-write.mtb"));
    for (auto _ : st)
        PlainWrite(path, bytes, false);
    st.SetBytesProcessed(st.iterations() * bytes.size());
}
BENCHMARK(BM_PlainWriteSameBytes)->UseRealTime();

void BM_ExportHistoryText(benchmark::State& st)
{
    const THistoryState state = FullState();
    const QString path = Folder().filePath(QStringLiteral("export.txt"));
    for (auto _ : st)
        ExportHistoryText(state.HistoryImage, path);
    st.SetBytesProcessed(st.iterations() * HistoryExportBytes(state.HistoryImage).size());
}
BENCHMARK(BM_ExportHistoryText)->UseRealTime();

void BM_PlainWriteFlushedExportBytes(benchmark::State& st)
{
    const QByteArray bytes = HistoryExportBytes(FullState().HistoryImage);
    const std::string path = PathOf(QStringLiteral("plain-export-flushed.txt"));
    for (auto _ : st)
        PlainWrite(path, bytes, true);
    st.SetBytesProcessed(st.iterations() * bytes.size());
}
BENCHMARK(BM_PlainWriteFlushedExportBytes)->UseRealTime();

void BM_PlainWriteExportBytes(benchmark::State& st)
{
    const QByteArray bytes = HistoryExportBytes(FullState().HistoryImage);
    const std::string path = PathOf(QStringLiteral("plain-export.txt"));
    for (auto _ : st)
        PlainWrite(path, bytes, false);
    st.SetBytesProcessed(st.iterations() * bytes.size());
}
BENCHMARK(BM_PlainWriteExportBytes)->UseRealTime();

// The conversions alone, without the file system.
void BM_HistoryFileBytes(benchmark::State& st)
{
    const THistoryState state = FullState();
    for (auto _ : st)
        benchmark::DoNotOptimize(HistoryFileBytes(state.HistoryImage, state.DiagramQuantity));
}
BENCHMARK(BM_HistoryFileBytes);

void BM_ConvertHistoryText(benchmark::State& st)
{
    THistoryState state = FullState();
    const QByteArray text = HistoryFileBytes(state.HistoryImage, state.DiagramQuantity);
    for (auto _ : st)
        benchmark::DoNotOptimize(ConvertHistoryText(text, state.HistoryImage, state.DiagramQuantity));
}
BENCHMARK(BM_ConvertHistoryText);

void BM_HistoryExportBytes(benchmark::State& st)
{
    const THistoryState state = FullState();
    for (auto _ : st)
        benchmark::DoNotOptimize(HistoryExportBytes(state.HistoryImage));
}
BENCHMARK(BM_HistoryExportBytes);

} // namespace

BENCHMARK_MAIN();
