#pragma once

#include "BackgroundJob.h"
#include "PictureFile.h"
#include "ZoomVideo.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <string>

namespace mandel {

// Writes a picture file off the GUI thread, one at a time, so the window
// goes on exploring and drawing meanwhile. Progress and the end arrive as
// signals on this object's thread.
class PictureExportJob final : public QObject {
    Q_OBJECT

public:
    explicit PictureExportJob(QObject* parent = nullptr);

    // Starts writing `request` to `path`; false while another is running.
    bool start(const std::string& path, const PictureRequest& request);
    // Starts making the zoom video `request` names at `path`, as an export:
    // the same progress, cancelling and end; false while another is running.
    bool startVideo(const std::string& path, const ZoomVideoRequest& request);
    // Asks the running export to stop; `failed` with ECANCELED follows once
    // it has cleaned up (or `written`, if it finished first).
    void cancel();
    // Whether an export is running (its end not yet signalled).
    bool running() const noexcept { return job_->running(); }
    // Exports started from now on pause between bands while `busy` is
    // set: the window's picture has every core while it is drawn.
    void yieldWhile(std::shared_ptr<const std::atomic<bool>> busy) { busy_ = std::move(busy); }

signals:
    // The share written, 0 to 100, as it grows.
    void progressed(int percent);
    // The picture is complete at `path`.
    void written(const QString& path);
    // Nothing was written: `reason` is "PATH: why", `code` its errno
    // (ECANCELED when stopped).
    void failed(const QString& reason, int code);

private:
    // Runs `write` on the job's thread with hooks that report progress and
    // yield to the window; delivers its end as written or failed.
    void run(std::function<Result<std::string>(const PictureFileHooks&)> write);

    // Its destructor stops a running export and waits for it: the writer
    // removes what it wrote before it returns, so nothing is left behind.
    BackgroundJob* job_;
    std::shared_ptr<const std::atomic<bool>> busy_;
};

} // namespace mandel
