// Posters end to end: iteration, colouring, PNG (or BMP) encoding and the
// writes to a file, in megapixels per second, with each stage's share.
//
//   mandel_poster_bench --benchmark_repetitions=3 --benchmark_report_aggregates_only=true
//
// The label names the Highway target and the threads; the context names the
// CPU. "compute", "colour" and "encode" are the shares of the wall time
// spent in each stage (encode includes the writes).

#include "BmpBandWriter.h"
#include "BenchViews.h"
#include "ExplorerState.h"
#include "FastComputer.h"
#include "PngBandWriter.h"
#include "PosterRenderer.h"
#include "ThreadPool.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

using namespace mandel;
using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

using bench::deepView;
using bench::fullView;

// Times the iteration of the computer it wraps.
class TimedComputer final : public FieldComputer {
public:
    explicit TimedComputer(FieldComputer& inner) : inner_(inner) {}
    void computeGrid(const double* cx, int columns, const double* cy, int rows, PointResult* out) override
    {
        const auto t = Clock::now();
        inner_.computeGrid(cx, columns, cy, rows, out);
        seconds += secondsSince(t);
    }
    int preferredColumns() const override { return inner_.preferredColumns(); }
    ThreadPool* pool() noexcept override { return inner_.pool(); }
    double seconds = 0;

private:
    FieldComputer& inner_;
};

// Times the sink it wraps.
class TimedSink final : public BandSink {
public:
    explicit TimedSink(BandSink& inner) : inner_(inner) {}
    Status writeRows(const std::uint8_t* rgb, int rows) override
    {
        const auto t = Clock::now();
        Status s = inner_.writeRows(rgb, rows);
        seconds += secondsSince(t);
        return s;
    }
    double seconds = 0;

private:
    BandSink& inner_;
};

// A scratch file written with positioned writes, as the programs write.
class ScratchFile {
public:
    ScratchFile() : path_("/tmp/mandel-poster-bench-" + std::to_string(::getpid())), fd_(::open(path_.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0600)) {}
    ~ScratchFile()
    {
        ::close(fd_);
        ::unlink(path_.c_str());
    }
    ByteWriter writer()
    {
        return [this](std::uint64_t offset, std::span<const unsigned char> bytes) -> Status {
            std::size_t done = 0;
            while (done < bytes.size()) {
                const ssize_t n = ::pwrite(fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
                if (n <= 0)
                    return fail("write failed", errno);
                done += static_cast<std::size_t>(n);
            }
            return {};
        };
    }
    void truncate() { (void)::ftruncate(fd_, 0); }

private:
    std::string path_;
    int fd_;
};

enum class Format { Png1, Png6, Bmp };

void poster(benchmark::State& st, const ExplorerState& view, int side, Format format)
{
    FastComputer computer;
    ThreadPool* pool = computer.pool();
    st.SetLabel(computer.targetName() + ", " + std::to_string(computer.threads()) + " threads");
    TimedComputer timed(computer);
    PosterRenderer renderer(timed);
    ScratchFile file;
    double total = 0, compute = 0, encode = 0;
    for (auto _ : st) {
        file.truncate();
        timed.seconds = 0;
        std::unique_ptr<BandSink> sink;
        const PictureSize size{side, side};
        if (format == Format::Bmp)
            sink = std::make_unique<BmpBandWriter>(size, file.writer());
        else
            sink = std::make_unique<PngBandWriter>(size, std::vector<PngText>{}, file.writer(), pool,
                                                   format == Format::Png1 ? 1 : 6);
        TimedSink timedSink(*sink);
        const auto t = Clock::now();
        if (!renderer.render(view, size, timedSink))
            st.SkipWithError("the poster failed");
        total += secondsSince(t);
        compute += timed.seconds;
        encode += timedSink.seconds;
    }
    const double pixels = static_cast<double>(side) * side;
    st.counters["Mpx/s"] = benchmark::Counter(pixels / 1e6, benchmark::Counter::kIsIterationInvariantRate);
    st.counters["compute"] = compute / total;
    st.counters["colour"] = (total - compute - encode) / total;
    st.counters["encode"] = encode / total;
}

void registerAll()
{
    struct Case {
        const char* name;
        ExplorerState view;
        int side;
        Format format;
        int iterations;  // 0: as many as the library likes
    };
    const Case cases[] = {
        {"Full/4096/png1", fullView(), 4096, Format::Png1, 0},
        {"Full/4096/png6", fullView(), 4096, Format::Png6, 0},
        {"Full/4096/bmp", fullView(), 4096, Format::Bmp, 0},
        {"Deep/4096/png1", deepView(), 4096, Format::Png1, 0},
        {"Full/16384/png1", fullView(), 16384, Format::Png1, 1},
    };
    for (const Case& c : cases) {
        auto* b = benchmark::RegisterBenchmark((std::string("Poster/") + c.name).c_str(),
                                               [c](benchmark::State& st) { poster(st, c.view, c.side, c.format); });
        b->Unit(benchmark::kMillisecond)->UseRealTime();
        if (c.iterations > 0)
            b->Iterations(c.iterations);
    }
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::AddCustomContext("cpu_model", bench::cpuModel());
    registerAll();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
