#include "DeepOrbitJob.h"

#include "AutoIterations.h"
#include "DeepView.h"

#include <QMetaObject>

#include <cmath>
#include <utility>

namespace mandel {

DeepOrbitJob::DeepOrbitJob(QObject* parent) : QObject(parent) {}

DeepOrbitJob::~DeepOrbitJob()
{
    cancel();
    for (const auto& run : retired_)
        if (run->thread.joinable())
            run->thread.join();
}

void DeepOrbitJob::start(const DeepCentre& view, bool automatic, std::shared_ptr<ReferenceOrbit> reuse,
                         std::size_t memoryLimit)
{
    cancel();
    auto run = std::make_shared<Run>();
    current_ = run;
    run->thread = std::thread([this, run, view, automatic, reuse = std::move(reuse), memoryLimit]() mutable {
        work(run, view, automatic, std::move(reuse), memoryLimit);
        run->done = true;
    });
}

void DeepOrbitJob::cancel()
{
    if (current_) {
        current_->stop = true;
        retired_.push_back(std::move(current_));
        current_.reset();
    }
    retire();
}

void DeepOrbitJob::finish()
{
    // The thread may still be unwinding: it is joined once it has ended.
    // A run is never let go before, since its last owner would then be its
    // own thread, whose end would destroy a thread still joinable.
    retired_.push_back(std::move(current_));
    current_.reset();
    retire();
}

void DeepOrbitJob::retire()
{
    // Threads that have ended are joined at once; the others when they end
    // (they stop at their next progress report).
    for (auto it = retired_.begin(); it != retired_.end();) {
        if ((*it)->done) {
            if ((*it)->thread.joinable())
                (*it)->thread.join();
            it = retired_.erase(it);
        } else {
            ++it;
        }
    }
}

void DeepOrbitJob::work(std::shared_ptr<Run> run, DeepCentre view, bool automatic,
                        std::shared_ptr<ReferenceOrbit> reuse, std::size_t memoryLimit)
{
    WorkControl control;
    control.memoryLimit = memoryLimit;
    int shown = -1;
    control.progress = [this, run, &shown](double done) {
        const int percent = static_cast<int>(std::lround(done * 100));
        if (percent != shown) {
            shown = percent;
            QMetaObject::invokeMethod(
                this,
                [this, run, percent] {
                    if (run == current_)
                        emit progressed(percent);
                },
                Qt::QueuedConnection);
        }
        return !run->stop.load();
    };
    auto refuse = [this, run, view](const std::string& why) {
        const QString reason = QString::fromStdString(why);
        QMetaObject::invokeMethod(
            this,
            [this, run, view, reason] {
                if (run != current_)
                    return;
                finish();
                emit refused(view, reason);
            },
            Qt::QueuedConnection);
    };

    std::shared_ptr<ReferenceOrbit> orbit = std::move(reuse);
    const bool same = orbit && orbit->view().re == view.re && orbit->view().im == view.im &&
                      orbit->view().zoom == view.zoom;
    if (same) {
        if (Status ok = orbit->extend(view.iterations, control); !ok)
            return refuse(ok.error());
    } else {
        auto computed = ReferenceOrbit::compute(view, control);
        if (!computed)
            return refuse(computed.error());
        orbit = std::move(computed.value());
    }
    DeepComputerOptions options;
    options.iterations = view.iterations;
    // From the view's own cap, not the orbit's: a reused orbit may hold
    // more than an earlier choice kept.
    if (automatic) {
        auto chosen = chooseIterations(*orbit, view.iterations, control);
        if (!chosen)
            return refuse(chosen.error());
        options.iterations = *chosen;
    }
    if (run->stop)
        return;
    auto computer = std::make_shared<DeepComputer>(orbit, options);
    if (Status ok = computer->prepare(kDeepCentrePixel * std::sqrt(2.0), memoryLimit); !ok)
        return refuse(ok.error());
    QMetaObject::invokeMethod(
        this,
        [this, run, view, orbit, computer] {
            if (run != current_)
                return;
            finish();
            emit prepared(view, orbit, computer);
        },
        Qt::QueuedConnection);
}

} // namespace mandel
