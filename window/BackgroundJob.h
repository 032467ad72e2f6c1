#pragma once

#include <QObject>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace mandel {

// Work run off the GUI thread, one run at a time, with its progress and its
// result handed back to this object's thread. The newest run wins: starting
// a run abandons the one before, and nothing from an abandoned run arrives
// (not its progress, not its result). A run's thread is joined once it has
// ended; the job's destructor stops every run and waits for them all, so no
// thread outlives the object its work reports to.
class BackgroundJob final : public QObject {
    Q_OBJECT

public:
    // What a run's work holds: its stop flag, and the way back to the GUI.
    class Run : public std::enable_shared_from_this<Run> {
    public:
        // Whether the run was asked to stop; work checks it often.
        bool stopping() const noexcept { return stop_.load(); }
        const std::atomic<bool>& stopFlag() const noexcept { return stop_; }
        // Sends `percent` to the job's progressed signal when it changed
        // (callable from any thread).
        void progress(int percent);
        // Runs `result` on the job's thread once the run has ended there,
        // unless the run was abandoned by then. The last call of the work;
        // work that returns without it ends the run with nothing to hand back.
        void deliver(std::function<void()> result);

    private:
        friend class BackgroundJob;
        BackgroundJob* job_ = nullptr;
        std::atomic<bool> stop_{false};
        std::atomic<bool> done_{false};
        std::atomic<bool> delivered_{false};
        std::atomic<int> percent_{-1};
        std::thread thread_;
    };
    using Work = std::function<void(Run&)>;

    explicit BackgroundJob(QObject* parent = nullptr);
    ~BackgroundJob() override;

    // Abandons the running run, if any, and starts `work` on a new thread.
    void start(Work work);
    // Asks the running work to stop; what it delivers (a failure, say) still
    // arrives.
    void stop();
    // Stops the running work; nothing more arrives from it.
    void abandon();
    // Whether a run is under way (its result not yet handed back).
    bool running() const noexcept { return current_ != nullptr; }

signals:
    // The running work's share done, 0 to 100.
    void progressed(int percent);

private:
    // The current run has ended: it stops being current, its thread is joined
    // as soon as it has returned.
    void retireCurrent();
    void joinEnded();

    std::shared_ptr<Run> current_;
    std::vector<std::shared_ptr<Run>> retired_;  // abandoned or ended, maybe still running
};

} // namespace mandel
