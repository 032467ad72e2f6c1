#pragma once

#include "BackgroundJob.h"
#include "PictureComputer.h"
#include "Location.h"
#include "ReferenceOrbit.h"

#include <QObject>
#include <QString>

#include <cstddef>
#include <memory>

namespace mandel {

// Prepares free-view pictures off the GUI thread: the cap chosen from the
// picture when asked and the computer, with, where doubles do not reach,
// the reference orbit (computed, or an earlier one of the same centre
// extended) and its tables; a shallow view has no orbit.
// One job at a time: starting one stops the last, whose result never
// arrives. Progress and results arrive as signals on this object's thread.
class DeepOrbitJob final : public QObject {
    Q_OBJECT

public:
    explicit DeepOrbitJob(QObject* parent = nullptr);

    // Starts preparing `view`. With `automatic`, its cap is raised from
    // view.iterations as the picture asks (AutoIterations.h). `reuse`, when
    // it is an orbit of the same centre and zoom that nothing else holds, is
    // extended instead of computed again. At most
    // `memoryLimit` bytes (0: any).
    void start(const DeepCentre& view, bool automatic, std::shared_ptr<ReferenceOrbit> reuse,
               std::size_t memoryLimit);
    // Stops the running job; nothing arrives from it.
    void cancel();
    // Whether a job is running.
    bool running() const noexcept { return job_->running(); }

signals:
    // The share done, 0 to 100, now and then.
    void progressed(int percent);
    // The job for `asked` is done: the orbit (null in doubles; it may hold
    // more values than the cap needs) and a computer for the cap chosen.
    void prepared(const mandel::DeepCentre& asked, std::shared_ptr<mandel::ReferenceOrbit> orbit,
                  std::shared_ptr<mandel::FreeViewPixels> computer);
    // The job for `asked` failed; `reason` says why in one line.
    void refused(const mandel::DeepCentre& asked, const QString& reason);

private:
    void work(BackgroundJob::Run& run, const DeepCentre& view, bool automatic, std::shared_ptr<ReferenceOrbit> reuse,
              std::size_t memoryLimit);

    // Its destructor stops every job and waits for their threads.
    BackgroundJob* job_;
};

} // namespace mandel
