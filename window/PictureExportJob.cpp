#include "PictureExportJob.h"

#include <chrono>
#include <cmath>
#include <thread>

namespace mandel {

PictureExportJob::PictureExportJob(QObject* parent) : QObject(parent), job_(new BackgroundJob(this))
{
    connect(job_, &BackgroundJob::progressed, this, &PictureExportJob::progressed);
}

bool PictureExportJob::start(const std::string& path, const PictureRequest& request)
{
    if (job_->running())
        return false;
    run([path, request](const PictureFileHooks& hooks) { return writePictureFile(path, request, hooks); });
    return true;
}

bool PictureExportJob::startVideo(const std::string& path, const ZoomVideoRequest& request)
{
    if (job_->running())
        return false;
    run([path, request](const PictureFileHooks& hooks) -> Result<std::string> {
        if (Status made = writeZoomVideo(path, request, hooks); !made)
            return made.failure();
        return path;
    });
    return true;
}

void PictureExportJob::run(std::function<Result<std::string>(const PictureFileHooks&)> write)
{
    job_->start([this, write = std::move(write), busy = busy_](BackgroundJob::Run& run) {
        PictureFileHooks hooks;
        hooks.stop = &run.stopFlag();
        hooks.progress = [&run, busy](double share) {
            run.progress(static_cast<int>(std::floor(share * 100)));
            // Between bands: the next waits while the window draws.
            while (busy && busy->load(std::memory_order_relaxed) && !run.stopping())
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            return !run.stopping();
        };
        Result<std::string> done = write(hooks);
        const QString where = QString::fromStdString(done ? *done : done.error());
        const int code = done ? 0 : done.failure().code;
        run.deliver([this, where, code, ok = done.ok()] {
            if (ok)
                emit written(where);
            else
                emit failed(where, code);
        });
    });
}

void PictureExportJob::cancel()
{
    job_->stop();
}

} // namespace mandel
