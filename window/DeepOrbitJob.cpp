#include "DeepOrbitJob.h"

#include "DeepSetup.h"
#include "PictureComputer.h"

#include <cmath>
#include <utility>

namespace mandel {

DeepOrbitJob::DeepOrbitJob(QObject* parent) : QObject(parent), job_(new BackgroundJob(this))
{
    connect(job_, &BackgroundJob::progressed, this, &DeepOrbitJob::progressed);
}

void DeepOrbitJob::start(const DeepCentre& view, bool automatic, std::shared_ptr<ReferenceOrbit> reuse,
                         std::size_t memoryLimit)
{
    job_->start([this, view, automatic, reuse = std::move(reuse), memoryLimit](BackgroundJob::Run& run) mutable {
        work(run, view, automatic, std::move(reuse), memoryLimit);
    });
}

void DeepOrbitJob::cancel()
{
    job_->abandon();
}

void DeepOrbitJob::work(BackgroundJob::Run& run, const DeepCentre& view, bool automatic,
                        std::shared_ptr<ReferenceOrbit> reuse, std::size_t memoryLimit)
{
    DeepSetupRequest request;
    request.view = view;
    request.chooseCap = automatic;
    request.extend = std::move(reuse);
    request.memoryLimit = memoryLimit;
    request.progress = [&run](double done) {
        run.progress(static_cast<int>(std::lround(done * 100)));
        return !run.stopping();
    };
    Result<FreeViewSetup> setup = setUpFreeView(std::move(request));
    if (run.stopping())
        return;
    if (!setup) {
        const QString reason = QString::fromStdString(setup.error());
        return run.deliver([this, view, reason] { emit refused(view, reason); });
    }
    run.deliver([this, view, orbit = std::move(setup->ownOrbit), computer = std::move(setup->pixels)] {
        emit prepared(view, orbit, computer);
    });
}

} // namespace mandel
