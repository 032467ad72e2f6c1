#include "PictureExportJob.h"

#include <QMetaObject>

#include <cmath>
#include <utility>

namespace mandel {

PictureExportJob::PictureExportJob(QObject* parent) : QObject(parent) {}

PictureExportJob::~PictureExportJob()
{
    if (run_) {
        run_->stop = true;
        // The writer removes its temporary before it returns.
        if (run_->thread.joinable())
            run_->thread.join();
    }
}

bool PictureExportJob::start(const std::string& path, const PictureRequest& request)
{
    if (run_)
        return false;
    auto run = std::make_shared<Run>();
    run_ = run;
    run->thread = std::thread([this, run, path, request] {
        PictureFileHooks hooks;
        hooks.stop = &run->stop;
        hooks.progress = [this, run](double share) {
            // Called from the writer's threads: only a grown percentage is sent.
            const int percent = static_cast<int>(std::floor(share * 100));
            int shown = run->percent.load();
            while (percent > shown)
                if (run->percent.compare_exchange_weak(shown, percent)) {
                    QMetaObject::invokeMethod(
                        this,
                        [this, run, percent] {
                            if (run == run_)
                                emit progressed(percent);
                        },
                        Qt::QueuedConnection);
                    break;
                }
            return !run->stop.load();
        };
        Result<std::string> done = writePictureFile(path, request, hooks);
        QString where = QString::fromStdString(done ? *done : done.error());
        const int code = done ? 0 : done.failure().code;
        // Queued: dropped unheard if this object is gone (its destructor has
        // joined the thread by then).
        QMetaObject::invokeMethod(
            this,
            [this, run, where, code, ok = done.ok()] {
                if (run != run_)
                    return;
                finish(run);
                if (ok)
                    emit written(where);
                else
                    emit failed(where, code);
            },
            Qt::QueuedConnection);
    });
    return true;
}

void PictureExportJob::cancel()
{
    if (run_)
        run_->stop = true;
}

void PictureExportJob::finish(const std::shared_ptr<Run>& run)
{
    // The thread has only to return from its function: joining is quick.
    if (run->thread.joinable())
        run->thread.join();
    run_.reset();
}

} // namespace mandel
