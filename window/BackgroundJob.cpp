#include "BackgroundJob.h"

#include <QMetaObject>

#include <utility>

namespace mandel {

void BackgroundJob::Run::progress(int percent)
{
    if (percent_.exchange(percent) == percent)
        return;
    BackgroundJob* job = job_;
    QMetaObject::invokeMethod(
        job,
        [job, self = shared_from_this(), percent] {
            if (self == job->current_)
                emit job->progressed(percent);
        },
        Qt::QueuedConnection);
}

void BackgroundJob::Run::deliver(std::function<void()> result)
{
    delivered_ = true;
    BackgroundJob* job = job_;
    // Queued: dropped unheard if the job is gone (its destructor has joined
    // this thread by then).
    QMetaObject::invokeMethod(
        job,
        [job, self = shared_from_this(), result = std::move(result)] {
            if (self != job->current_)
                return;
            job->retireCurrent();
            result();
        },
        Qt::QueuedConnection);
}

BackgroundJob::BackgroundJob(QObject* parent) : QObject(parent) {}

BackgroundJob::~BackgroundJob()
{
    abandon();
    for (const auto& run : retired_)
        if (run->thread_.joinable())
            run->thread_.join();
}

void BackgroundJob::start(Work work)
{
    abandon();
    auto run = std::make_shared<Run>();
    run->job_ = this;
    current_ = run;
    // The thread holds its run: the run outlives every message it sends.
    run->thread_ = std::thread([run, work = std::move(work)] {
        work(*run);
        if (!run->delivered_)
            run->deliver([] {});
        run->done_ = true;
    });
}

void BackgroundJob::stop()
{
    if (current_)
        current_->stop_ = true;
}

void BackgroundJob::abandon()
{
    if (current_) {
        current_->stop_ = true;
        retireCurrent();
    }
    joinEnded();
}

void BackgroundJob::retireCurrent()
{
    // A run is never let go before its thread is joined: its last owner
    // would then be its own thread, whose end would destroy a thread still
    // joinable.
    retired_.push_back(std::move(current_));
    current_.reset();
    joinEnded();
}

void BackgroundJob::joinEnded()
{
    // Threads that have ended are joined at once; the others when they end
    // (they stop at their next check of the stop flag).
    for (auto it = retired_.begin(); it != retired_.end();) {
        if ((*it)->done_) {
            if ((*it)->thread_.joinable())
                (*it)->thread_.join();
            it = retired_.erase(it);
        } else {
            ++it;
        }
    }
}

} // namespace mandel
