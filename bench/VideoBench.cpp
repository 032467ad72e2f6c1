// Zoom videos: a keyframe of a 1920 x 1080 dive (as drawn now, and as
// before: by perturbation at 3840 x 2160), a frame assembled from two
// keyframes, a frame encoded (x264 presets side by side), and the goal: a 30 s
// 1920 x 1080 60 fps dive to 1E+30, extrapolated from a sample of its
// keyframes and a few hundred of its frames (the whole takes minutes).
//
//   mandel_video_bench --benchmark_filter=Dive
//
// The label names the CPU, the Highway target and the threads. The dive's
// counters: seconds for the whole dive (estimate_s), the share of it spent
// assembling and encoding frames (frames_share), and the largest resident
// memory of the process (maxrss_MB).

#include "BenchViews.h"
#include "DeepViews.h"
#include "DivePictures.h"
#include "FastComputer.h"
#include "ThreadPool.h"
#include "VideoFile.h"
#include "ZoomDive.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

namespace {

using namespace mandel;
using Clock = std::chrono::steady_clock;

constexpr PictureSize kFrame{1920, 1080};
// Keyframes of the dive (twice the frame).
constexpr PictureSize kTwiceKeyframe{3840, 2160};
const PictureSize kKeyframe = keyframeSize(kFrame);
constexpr double kTargetZoom = 30;
constexpr int kFps = 60;
constexpr int kSeconds = 30;

double secondsSince(Clock::time_point t)
{
    return std::chrono::duration<double>(Clock::now() - t).count();
}

std::string label()
{
    return bench::cpuModel() + ", " + FastComputer({1, false, 0}).targetName() + ", " +
           std::to_string(ThreadPool::shared().size()) + " threads";
}

// The dive's target: a small copy of the set near c = i, at 1E+30.
Location target()
{
    const auto& v = testing::kDeepTestViews[1];  // MinibrotPeriod44
    Location l;
    l.palette.b = 3;
    l.palette.fn1 = 4.2187495f;
    l.palette.fn2 = 0.5f;
    l.palette.fn3 = 9.99f;
    l.palette.m2 = 200;
    l.palette.m3 = 304;
    l.deep = DeepCentre{std::string(v.re), std::string(v.im), kTargetZoom, 5000};
    return l;
}

const DivePictures& pictures()
{
    static const DivePictures p = DivePictures::prepare(target(), nullptr, 0, {}).value();
    return p;
}

double maxRssMegabytes()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// A video file that is never finished, so nothing is left behind.
VideoFile scratchVideo(const std::string& preset)
{
    VideoSettings settings;
    settings.preset = preset;
    settings.width = kFrame.width;
    settings.height = kFrame.height;
    settings.fps = kFps;
    return VideoFile::open("/tmp/mandel-video-bench-" + std::to_string(::getpid()) + ".mp4", settings).value();
}

// Perturbation for every picture, as dives drew before shallow ones went
// to doubles: the side-by-side "before".
const DivePictures& perturbationPictures()
{
    static const DivePictures p = [] {
        DivePictures d = DivePictures::prepare(target(), nullptr, 0, {}).value();
        d.setDoubles(false);
        return d;
    }();
    return p;
}

void keyframe(benchmark::State& st)
{
    const double zoom = static_cast<double>(st.range(0));
    // 0: as before (perturbation throughout); 1 and 2: now (doubles where
    // they hold).
    const int rule = static_cast<int>(st.range(1));
    const DivePictures& drawing = rule > 0 ? pictures() : perturbationPictures();
    const PictureSize size = rule == 2 ? kKeyframe : kTwiceKeyframe;
    for (auto _ : st)
        benchmark::DoNotOptimize(drawing.draw(zoom, size, {}).value());
    st.SetLabel(label() + ", " + std::to_string(size.width) + "x" + std::to_string(size.height) +
                (rule > 0 ? ", doubles where they hold" : ", perturbation throughout"));
    st.counters["Mpx/s"] = benchmark::Counter(static_cast<double>(size.width) * size.height / 1e6,
                                              benchmark::Counter::kIsIterationInvariantRate);
}

// Two neighbouring keyframes of the dive, drawn once.
struct KeyframePair {
    RgbImage outer, inner;
    double outerZoom, innerZoom;
};

const KeyframePair& pair()
{
    static const KeyframePair p = [] {
        const double z = 15, step = std::log10(2.0);
        return KeyframePair{pictures().draw(z, kKeyframe, {}).value(), halved(pictures().draw(z + step, kKeyframe, {}).value()),
                            z, z + step};
    }();
    return p;
}

void assemble(benchmark::State& st)
{
    const KeyframePair& p = pair();
    RgbImage frame(kFrame.width, kFrame.height);
    int k = 0;
    for (auto _ : st) {
        const double zoom = p.outerZoom + (p.innerZoom - p.outerZoom) * (k++ % 32) / 32.0;
        assembleFrame(p.outer, p.outerZoom, p.inner, p.innerZoom, zoom, frame, &ThreadPool::shared());
        benchmark::DoNotOptimize(frame.rgb.data());
    }
    st.SetLabel(label());
}

// The reference beside it, pixel by pixel on one thread.
void assembleReference(benchmark::State& st)
{
    const KeyframePair& p = pair();
    RgbImage frame(kFrame.width, kFrame.height);
    int k = 0;
    for (auto _ : st) {
        const double zoom = p.outerZoom + (p.innerZoom - p.outerZoom) * (k++ % 32) / 32.0;
        assembleFrameReference(p.outer, p.outerZoom, p.inner, p.innerZoom, zoom, frame);
        benchmark::DoNotOptimize(frame.rgb.data());
    }
    st.SetLabel(label() + " (reference: 1 thread)");
}

// x264's presets compared, at the same quality setting.
const char* const kPresets[] = {"medium", "faster", "veryfast"};

void encode(benchmark::State& st)
{
    const KeyframePair& p = pair();
    VideoFile video = scratchVideo(kPresets[st.range(0)]);
    // Frames a dive would make, each a little deeper than the one before:
    // the same few frames over again would cost the encoder almost nothing.
    std::vector<RgbImage> frames;
    for (int k = 0; k < 30; ++k) {
        frames.emplace_back(kFrame.width, kFrame.height);
        assembleFrame(p.outer, p.outerZoom, p.inner, p.innerZoom, p.outerZoom + k * 0.01, frames.back(),
                      &ThreadPool::shared());
    }
    std::size_t k = 0;
    for (auto _ : st)
        if (!video.add(frames[k++ % frames.size()]))
            st.SkipWithError("the encoder failed");
    st.counters["maxrss_MB"] = maxRssMegabytes();
    st.SetLabel(label() + ", preset " + kPresets[st.range(0)]);
}

// The goal, extrapolated: the orbit, every keyframe at the mean time of
// keyframes sampled along the dive, and every frame at the time of frames
// assembled and encoded here.
void dive(benchmark::State& st)
{
    const ZoomDive plan(0, kTargetZoom, kFps * kSeconds);
    const int samples = 5;
    const int frames = static_cast<int>(st.range(0));
    // 0: as dives were made before (perturbation throughout, x264 medium);
    // 1: as they are made now.
    const bool after = st.range(1) != 0;
    const std::string preset = after ? VideoSettings{}.preset : "medium";
    const int j = plan.keyframes() / 2;  // the frames are made between keyframes j and j + 1
    for (auto _ : st) {
        auto t = Clock::now();
        DivePictures own = DivePictures::prepare(target(), nullptr, 0, {}).value();
        own.setDoubles(after);
        const PictureSize keyframe = after ? kKeyframe : kTwiceKeyframe;
        const double orbit = secondsSince(t);
        double keyframes = 0;
        int sampled = 0;
        for (int s = 0; s < samples; ++s, ++sampled) {
            t = Clock::now();
            benchmark::DoNotOptimize(own.draw(plan.keyframeZoom((plan.keyframes() - 1) * s / (samples - 1)), keyframe, {}));
            keyframes += secondsSince(t);
        }
        t = Clock::now();
        const RgbImage outer = own.draw(plan.keyframeZoom(j), keyframe, {}).value();
        const RgbImage inner = halved(own.draw(plan.keyframeZoom(j + 1), keyframe, {}).value());
        keyframes += secondsSince(t);
        sampled += 2;
        VideoFile video = scratchVideo(preset);
        RgbImage frame(kFrame.width, kFrame.height);
        t = Clock::now();
        for (int f = 0; f < frames; ++f) {
            const double zoom = plan.keyframeZoom(j) + (plan.keyframeZoom(j + 1) - plan.keyframeZoom(j)) * f / frames;
            assembleFrame(outer, plan.keyframeZoom(j), inner, plan.keyframeZoom(j + 1), zoom, frame,
                          &ThreadPool::shared());
            if (!video.add(frame))
                st.SkipWithError("the encoder failed");
        }
        const double perFrame = secondsSince(t) / frames;
        const double keyframeTime = keyframes / sampled * plan.keyframes();
        const double frameTime = perFrame * plan.frames();
        st.counters["orbit_s"] = orbit;
        st.counters["keyframe_s"] = keyframes / sampled;
        st.counters["frame_ms"] = perFrame * 1e3;
        st.counters["estimate_s"] = orbit + keyframeTime + frameTime;
        st.counters["frames_share"] = frameTime / (orbit + keyframeTime + frameTime);
        st.counters["maxrss_MB"] = maxRssMegabytes();
    }
    st.SetLabel(label() + ", " + std::to_string(plan.keyframes()) + " keyframes, " + std::to_string(plan.frames()) +
                " frames, " + (after ? "now" : "before") + " (preset " + preset + ")");
}

} // namespace

BENCHMARK(keyframe)->Name("Keyframe/zoom/rule")->Args({0, 0})->Args({0, 2})->Args({5, 0})->Args({5, 2})->Args({15, 0})->Args({15, 2})->Args({30, 0})->Args({30, 2})->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(assemble)->Name("AssembleFrame/1920x1080")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(assembleReference)->Name("AssembleFrameReference/1920x1080")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(encode)->Name("EncodeFrame/1920x1080/preset")->DenseRange(0, 2)->Iterations(120)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(dive)->Name("DiveTo1E30/1920x1080/60fps/30s/frames/now")->Args({300, 0})->Args({300, 1})->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

BENCHMARK_MAIN();
